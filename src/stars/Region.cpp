#include "stars/Region.h"

#include <algorithm>
#include <cmath>

#include "stars/Median.h"

namespace nebulor::stars::detail {
namespace {

// Median absolute deviation to standard deviation for Gaussian noise.
constexpr double kMadToSigma = 1.4826;

}  // namespace

Region::Region(const Frame& frame, int cx, int cy, int half)
    : x0_(std::max(cx - half, 0)),
      y0_(std::max(cy - half, 0)),
      x1_(std::min(cx + half, frame.width - 1)),
      y1_(std::min(cy + half, frame.height - 1)),
      width_(x1_ - x0_ + 1),
      pixels_(static_cast<std::size_t>(width_) * (y1_ - y0_ + 1)) {
  float* to = pixels_.data();
  for (int y = y0_; y <= y1_; ++y, to += width_) {
    const std::uint16_t* from = &frame.pixels[static_cast<std::size_t>(y) * frame.width + x0_];
    int x = 0;
    // In blocks of eight, which the compiler turns into vector instructions.
    for (; x + 8 <= width_; x += 8) {
      for (int k = 0; k < 8; ++k) to[x + k] = from[x + k];
    }
    for (; x < width_; ++x) to[x] = from[x];
  }
}

// Robust level and noise of the box's border pixels: the star image rarely
// touches the border, and the median ignores it when it does.
Background borderBackground(const Region& region, const Box& box) {
  std::vector<double> values;
  values.reserve(static_cast<std::size_t>(2 * (box.x1 - box.x0 + box.y1 - box.y0 + 2)));
  for (int x = box.x0; x <= box.x1; ++x) {
    values.push_back(region.at(x, box.y0));
    if (box.y1 != box.y0) values.push_back(region.at(x, box.y1));
  }
  for (int y = box.y0 + 1; y < box.y1; ++y) {
    values.push_back(region.at(box.x0, y));
    if (box.x1 != box.x0) values.push_back(region.at(box.x1, y));
  }
  Background result;
  result.level = median(values);
  for (double& v : values) v = std::abs(v - result.level);
  result.noise = std::max(kMadToSigma * median(values), kMinimumNoise);
  return result;
}

}  // namespace nebulor::stars::detail
