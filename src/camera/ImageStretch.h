#pragma once

#include <cstdint>
#include <vector>

#include "stars/StarFinder.h"

namespace nebulor::camera {

// Display levels for a frame: the sky just above black, the brightest star
// at white.
struct StretchLevels {
  double black = 0;
  double white = 1;
};

StretchLevels autoStretchLevels(const stars::Frame& frame);

// 8-bit grey per pixel, row-major: a square-root curve between the levels,
// so the faint wings of the star images show beside their bright cores.
std::vector<std::uint8_t> stretchToGrey(const stars::Frame& frame, StretchLevels levels);

}  // namespace nebulor::camera
