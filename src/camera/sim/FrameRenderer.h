#pragma once

#include <random>

#include "camera/SensorBox.h"
#include "camera/StarFinder.h"
#include "camera/sim/SimScene.h"
#include "camera/sim/SimSettings.h"

namespace nebulor::camera::sim {

// Renders 16-bit images: a Gaussian star image (integrated over each pixel)
// per star, sky background, photon noise, read noise, gain and bias,
// clipped to the converter's range.
class FrameRenderer {
 public:
  FrameRenderer(const SimSettings& settings, double psfSigma);

  Frame render(const SceneState& scene, const SensorBox& region, double seconds,
               std::mt19937_64& noise) const;

  // 1-sigma noise of a star image's centroid per axis, pixels, from the
  // photon, sky and read noise of an exposure of `seconds`.
  double centroidError(double seconds) const;

 private:
  void addStar(std::vector<double>& electrons, const SensorBox& region, const StarImage& star,
               double total) const;

  double psfSigma_;
  double flux_;  // electrons per second per star image
  double sky_;   // electrons per second per pixel
  double readNoise_;
  double gain_;
  double bias_;
};

}  // namespace nebulor::camera::sim
