#pragma once

#include <optional>

#include "camera/Automation.h"
#include "core/Failure.h"

namespace nebulor {

// What the measurement takes from an image's header, read in the order the
// checks go: the altitude, the focal length, the pixel width and height.
// Reading stops at the first value that is missing (a focal length or pixel
// size) or out of its range (a focal length of 1e300 mm, a pixel of a
// picometre: a broken header, said as such); what comes after it stays empty.
struct ExposureHeader {
  std::optional<double> altitude;      // degrees; none: missing or no number
  bool altitudeUnusable = false;       // present, but no number
  std::optional<double> focalLength;   // mm
  std::optional<double> pixelSize;     // micrometres, the mean of width and height
  std::optional<Failure> implausible;  // the value out of its range, for the user
};

ExposureHeader readExposureHeader(camera::ImageDocument& document);

// The same checks on values a frame stream took from the devices' properties.
ExposureHeader checkExposureHeader(std::optional<double> altitude, std::optional<double> focalLength,
                                   std::optional<double> pixelWidth, std::optional<double> pixelHeight);

}  // namespace nebulor
