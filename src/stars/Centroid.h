#pragma once

namespace nebulor::stars {

// A detection score (the star's signal over its noise) of this much or more
// means a clean detection; below it the measurement cycle rejects the
// exposure.
inline constexpr double kCleanDetection = 10.0;

// What the star finder noticed about a star image beyond its score. Only a
// clean one (`found`) may enter a measurement: a saturated core or an image
// cut by the edge gives a biased centroid even at a high score.
enum class StarStatus {
  found,        // clean detection
  faint,        // score below kCleanDetection
  saturated,    // pixels at the sensor's full scale in the star image
  nearEdge,     // star image cut by the frame edge, or lying beyond the search box
  outsideFrame  // requested point not on the frame
};

// The star image found near a requested point, in image pixels of the
// document (subframe pixels after a subframe exposure).
struct Centroid {
  double x = 0;
  double y = 0;
  double score = 0;  // kCleanDetection or more: a clean detection
  StarStatus status = StarStatus::found;
  double error = 0;  // 1-sigma error of x and of y, pixels; 0 when the application does not tell

  // Good enough to enter a measurement.
  bool clean() const { return score >= kCleanDetection && status == StarStatus::found; }
};

}  // namespace nebulor::stars
