#pragma once

#include <optional>

#include "camera/Automation.h"

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

}  // namespace nebulor
