#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "stars/Frame.h"

namespace nebulor::stars::detail {

// A flat border (synthetic or clipped data) still needs a noise unit: one
// count, the quantisation step.
inline constexpr double kMinimumNoise = 1.0;

// The frame's pixels round the requested point, copied as floats, so that
// defects can be replaced and pixels left out (NaN) without touching the
// caller's frame. Frame coordinates.
class Region {
 public:
  Region(const Frame& frame, int cx, int cy, int half);

  int x0() const { return x0_; }
  int y0() const { return y0_; }
  int x1() const { return x1_; }
  int y1() const { return y1_; }
  float at(int x, int y) const { return pixels_[index(x, y)]; }
  void set(int x, int y, float value) { pixels_[index(x, y)] = value; }
  // A defect's pixel gets a stand-in value for the peak search and start;
  // the fit leaves it out, as it does a pixel it masks.
  void replaceDefect(int x, int y, float value) {
    set(x, y, value);
    defects_.push_back(index(x, y));
  }
  // Leaves a pixel out of the fit, keeping its value for a companion's fit.
  void mask(int x, int y) {
    if (unmasked_.empty()) unmasked_ = pixels_;
    pixels_[index(x, y)] = std::numeric_limits<float>::quiet_NaN();
  }
  float unmaskedAt(int x, int y) const { return unmasked_.empty() ? at(x, y) : unmasked_[index(x, y)]; }
  // Puts the masked pixels back, with `light(x, y)` taken off every pixel.
  template <typename Light>
  void unmaskWithout(const Light& light) {
    if (!unmasked_.empty()) pixels_ = unmasked_;
    unmasked_.clear();
    for (int y = y0_; y <= y1_; ++y) {
      for (int x = x0_; x <= x1_; ++x) pixels_[index(x, y)] -= static_cast<float>(light(x, y));
    }
  }
  void leaveOutDefects() {
    for (std::size_t i : defects_) pixels_[i] = std::numeric_limits<float>::quiet_NaN();
  }
  // Pixel (x, y) and those to its right on the same row.
  const float* from(int x, int y) const { return &pixels_[index(x, y)]; }

 private:
  std::size_t index(int x, int y) const { return static_cast<std::size_t>(y - y0_) * width_ + (x - x0_); }

  int x0_, y0_, x1_, y1_, width_;
  std::vector<float> pixels_;
  std::vector<std::size_t> defects_;
  std::vector<float> unmasked_;  // the pixels before the first mask
};

struct Box {
  int x0, y0, x1, y1;  // inclusive
};

struct Background {
  double level = 0;
  double noise = kMinimumNoise;
};

// Robust level and noise of the box's border pixels (median, scaled median
// absolute deviation).
Background borderBackground(const Region& region, const Box& box);

}  // namespace nebulor::stars::detail
