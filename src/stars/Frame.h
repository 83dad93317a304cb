#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nebulor::stars {

// A 16-bit image, row-major, as a backend received it.
struct Frame {
  int width = 0;
  int height = 0;
  std::vector<std::uint16_t> pixels;  // width * height values

  std::uint16_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

}  // namespace nebulor::stars
