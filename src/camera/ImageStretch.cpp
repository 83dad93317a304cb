#include "camera/ImageStretch.h"

#include <algorithm>
#include <cmath>

namespace nebulor::camera {
namespace {

// Enough samples for a steady median on any sensor, few enough to stay quick.
constexpr std::size_t kMaxSamples = 20000;
constexpr double kMadToSigma = 1.4826;
constexpr double kBlackBelowSky = 2.0;  // noise units

}  // namespace

StretchLevels autoStretchLevels(const stars::Frame& frame) {
  const std::size_t count =
      std::min(frame.pixels.size(), static_cast<std::size_t>(frame.width) * frame.height);
  if (frame.width <= 0 || frame.height <= 0 || count == 0) return {};
  const std::size_t step = std::max<std::size_t>(1, count / kMaxSamples);
  std::vector<double> samples;
  for (std::size_t i = 0; i < count; i += step) samples.push_back(frame.pixels[i]);
  const auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
  std::nth_element(samples.begin(), middle, samples.end());
  const double sky = *middle;
  for (double& s : samples) s = std::abs(s - sky);
  std::nth_element(samples.begin(), middle, samples.end());
  const double noise = kMadToSigma * *middle;

  const double brightest =
      *std::max_element(frame.pixels.begin(), frame.pixels.begin() + static_cast<std::ptrdiff_t>(count));
  StretchLevels levels;
  levels.black = std::max(0.0, sky - kBlackBelowSky * noise);
  levels.white = std::max(brightest, levels.black + 1.0);
  return levels;
}

std::vector<std::uint8_t> stretchToGrey(const stars::Frame& frame, StretchLevels levels) {
  const std::size_t count = std::min(
      frame.pixels.size(), static_cast<std::size_t>(std::max(frame.width, 0)) * std::max(frame.height, 0));
  std::vector<std::uint8_t> grey(count);
  const double range = std::max(levels.white - levels.black, 1.0);
  for (std::size_t i = 0; i < count; ++i) {
    const double share = std::clamp((frame.pixels[i] - levels.black) / range, 0.0, 1.0);
    grey[i] = static_cast<std::uint8_t>(std::lround(255.0 * std::sqrt(share)));
  }
  return grey;
}

}  // namespace nebulor::camera
