#include "camera/indi/StreamDecoder.h"

#include <cmath>
#include <string>

#include "camera/Automation.h"

namespace nebulor::camera::indi {

namespace {

// libindi computes the power in single precision; so does this, so that the
// table is libindi's to the last count.
std::uint8_t gammaOf(std::uint16_t counts) {
  constexpr double kGamma = 2.4;
  constexpr double kSlope = 12.92;
  constexpr double kOffset = 0.055;
  constexpr double kKnee = 0.00304;
  const double intensity = counts / 65535.0;
  const double encoded = intensity <= kKnee ? kSlope * intensity
                                            : (1 + kOffset) * std::pow(static_cast<float>(intensity),
                                                                       static_cast<float>(1.0 / kGamma)) -
                                                  kOffset;
  return static_cast<std::uint8_t>(std::round(255.0 * encoded));
}

struct Tables {
  std::array<std::uint8_t, 65536> bytes{};
  std::array<std::uint16_t, 256> counts{};

  Tables() {
    std::array<std::uint32_t, 256> lowest{};
    std::array<std::uint32_t, 256> highest{};
    lowest.fill(65536);
    for (std::uint32_t value = 0; value < bytes.size(); ++value) {
      const std::uint8_t byte = gammaOf(static_cast<std::uint16_t>(value));
      bytes[value] = byte;
      if (lowest[byte] == 65536) lowest[byte] = value;
      highest[byte] = value;
    }
    // The table rises and by less than a byte a count, so every byte is reached.
    for (std::size_t byte = 0; byte < counts.size(); ++byte) {
      counts[byte] = static_cast<std::uint16_t>((lowest[byte] + highest[byte] + 1) / 2);
    }
  }
};

const Tables& tables() {
  static const Tables built;
  return built;
}

}  // namespace

std::uint8_t streamByteOf(std::uint16_t counts) { return tables().bytes[counts]; }

const std::array<std::uint16_t, 256>& linearCountsOfStreamBytes() { return tables().counts; }

stars::Frame decodeStreamFrame(const std::uint8_t* bytes, std::size_t size, int width, int height,
                               int cameraBits) {
  const std::size_t pixels =
      width > 0 && height > 0 ? static_cast<std::size_t>(width) * static_cast<std::size_t>(height) : 0;
  if (pixels == 0 || (size != pixels && size != 2 * pixels)) {
    throw AutomationError("The camera sent a stream frame of " + std::to_string(size) +
                          " bytes, which is no frame of its " + std::to_string(width) + " x " +
                          std::to_string(height) + " stream region");
  }
  stars::Frame frame;
  frame.width = width;
  frame.height = height;
  frame.pixels.resize(pixels);
  if (size == 2 * pixels) {
    for (std::size_t i = 0; i < pixels; ++i) {
      frame.pixels[i] = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
  } else if (cameraBits > 8) {
    const auto& counts = linearCountsOfStreamBytes();
    for (std::size_t i = 0; i < pixels; ++i) frame.pixels[i] = counts[bytes[i]];
  } else {
    for (std::size_t i = 0; i < pixels; ++i) frame.pixels[i] = bytes[i];
  }
  return frame;
}

}  // namespace nebulor::camera::indi
