#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "stars/Frame.h"

namespace nebulor::camera::indi {

// libindi's video stream sends a camera of more than 8 bits as one byte a
// pixel: each count passes through an sRGB-like gamma table (GammaLut16 of
// libindi's stream manager: slope 12.92 below 0.304% of full scale, above it
// 1.055 x^(1/2.4) - 0.055). These undo it as far as a byte allows.

// The byte libindi sends for a 16-bit count.
std::uint8_t streamByteOf(std::uint16_t counts);

// The linear count each byte stands for: the middle of the counts the
// table turns into that byte.
const std::array<std::uint16_t, 256>& linearCountsOfStreamBytes();

// One RAW-encoded stream frame of width x height pixels, rows top first, in
// linear counts: one byte a pixel from a camera of more than 8 bits goes
// through the inverse table, from an 8-bit camera it is the count itself;
// two bytes a pixel (little-endian, as drivers hold them) are the counts.
// Throws AutomationError when the size fits neither.
stars::Frame decodeStreamFrame(const std::uint8_t* bytes, std::size_t size, int width, int height,
                               int cameraBits);

}  // namespace nebulor::camera::indi
