#pragma once

#include <optional>

#include "camera/Automation.h"
#include "core/Failure.h"

namespace nebulor {

// A number from the image's header. It counts as missing when the header
// lacks it or when it is the number 0 or empty text; text that is no number,
// or a value that is not finite, is unusable (and so that no text can end
// the program, also never a number).
struct HeaderNumber {
  std::optional<double> value;
  bool unusable = false;  // present, but no number
};

HeaderNumber headerNumber(camera::ImageDocument& document, const char* keyword);

// What a header value must be to be taken as what it claims; a value
// beyond (a focal length of 1e300 mm, a pixel of a picometre) is a broken
// header, reported as such.
struct HeaderRange {
  const char* keyword;
  const char* what;
  double least;
  double most;
};
inline constexpr HeaderRange kAltitudeRange{"OBJCTALT", "altitude in degrees", -90, 90};
inline constexpr HeaderRange kFocalLengthRange{"FOCALLEN", "focal length in mm", 1, 1e5};
inline constexpr HeaderRange kPixelWidthRange{"XPIXSZ", "pixel width in micrometres", 0.1, 1000};
inline constexpr HeaderRange kPixelHeightRange{"YPIXSZ", "pixel height in micrometres", 0.1, 1000};

// The reason a value present is beyond its range; nothing when it is within or absent.
std::optional<Failure> implausibility(const HeaderRange& range, std::optional<double> value);

}  // namespace nebulor
