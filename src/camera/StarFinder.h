#pragma once

#include <cstdint>
#include <vector>

#include "camera/Automation.h"

namespace nebulor::camera {

// A 16-bit image, row-major, as a backend received it.
struct Frame {
  int width = 0;
  int height = 0;
  std::vector<std::uint16_t> pixels;  // width * height values

  std::uint16_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// What the finder needs to know of the camera to budget a star's noise. The
// sky and read noise are measured round each star; the star's own photon
// noise needs the gain, and the read noise is a floor under the measured
// background noise (a flat synthetic or clipped background measures as none).
// The defaults suit an unknown camera: one electron per count, no floor.
struct NoiseModel {
  double gain = 1.0;       // electrons per count
  double readNoise = 0.0;  // electrons RMS
};

// Finds the star image near (x, y) and measures its centroid, score, status
// and 1-sigma error (Centroid, with x and y in frame pixels, pixel centres at
// whole numbers). Never reads outside the frame and never throws.
Centroid findStarNear(const Frame& frame, double x, double y, const NoiseModel& noise = {});

// The `count` brightest star images of the whole frame, brightest first,
// each measured as findStarNear does and none twice; fewer when the frame
// holds fewer separate peaks. Hot pixels do not count as star images.
std::vector<Centroid> findBrightestStars(const Frame& frame, int count, const NoiseModel& noise = {});

}  // namespace nebulor::camera
