#pragma once

#include <cstdint>
#include <vector>

namespace nebulor::camera {

// A 16-bit image, row-major, as a backend received it.
struct Frame {
  int width = 0;
  int height = 0;
  std::vector<std::uint16_t> pixels;  // width * height values

  std::uint16_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

enum class StarStatus {
  found,        // clean detection
  faint,        // peak signal below the detection threshold
  saturated,    // peak at the sensor's full scale: centroid biased
  nearEdge,     // search box clipped by the frame edge
  outsideFrame  // requested point not on the frame
};

struct StarMeasurement {
  double x = 0;  // centroid, frame pixels (pixel centres at whole numbers)
  double y = 0;
  double score = 0;  // peak signal over background noise; 10 or more is a clean detection
  StarStatus status = StarStatus::faint;
};

// Finds the star image near (x, y) and measures its centroid. Never reads
// outside the frame and never throws.
StarMeasurement findStarNear(const Frame& frame, double x, double y);

// The `count` brightest star images of the whole frame, brightest first,
// each measured as findStarNear does; fewer when the frame holds fewer
// separate peaks.
std::vector<StarMeasurement> findBrightestStars(const Frame& frame, int count);

}  // namespace nebulor::camera
