#pragma once

#include <random>

#include "camera/SensorBox.h"
#include "camera/sim/SimSettings.h"
#include "sky/Scene.h"
#include "stars/StarFinder.h"

namespace nebulor::camera::sim {

// Renders 16-bit images: per star a Gaussian star image (integrated over
// each pixel) or the scene's image formed by Fourier optics, sky background, cosmic-ray tracks, photon noise,
// read noise, gain and bias, hot pixels, clipped to the converter's range.
class FrameRenderer {
 public:
  FrameRenderer(const SimSettings& settings, double psfSigma);

  stars::Frame render(const sky::SceneState& scene, const SensorBox& region, double seconds,
                      std::mt19937_64& noise) const;

 private:
  void addStar(std::vector<double>& electrons, const SensorBox& region, const sky::StarImage& star,
               double total) const;
  static void addStamp(std::vector<double>& electrons, const SensorBox& region, const sky::ImageStamp& stamp,
                       double total);
  void addCosmics(std::vector<double>& electrons, const SensorBox& region, std::mt19937_64& noise) const;

  struct HotPixel {
    int x, y;
    double counts;
  };

  double psfSigma_;
  double flux_;  // electrons per second per star image
  double sky_;   // electrons per second per pixel
  double readNoise_;
  double gain_;
  double bias_;
  double cosmics_;
  std::vector<HotPixel> hotPixels_;
};

}  // namespace nebulor::camera::sim
