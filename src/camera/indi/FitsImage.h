#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>

#include "camera/Automation.h"
#include "camera/SensorBox.h"
#include "stars/StarFinder.h"

namespace nebulor::camera::indi {

// One decoded FITS image: the first image of the file as 16-bit pixels, rows
// in the order they are stored (INDI stores the top row first), and every
// header card that carries a value.
struct FitsImage {
  stars::Frame frame;
  std::map<std::string, FitsValue> header;  // keyword -> number, or text (strings and logicals)

  // The value of a header keyword, std::nullopt when the header lacks it.
  // Keywords are matched without regard to case.
  std::optional<FitsValue> key(const std::string& keyword) const;
};

// Decodes a FITS file held in memory. Throws AutomationError naming the
// cause, and nothing else, when the bytes are not a readable two-dimensional
// FITS image whose sides lie within 1..kMaxSensorSide.
FitsImage readFitsImage(const void* data, std::size_t size);

}  // namespace nebulor::camera::indi
