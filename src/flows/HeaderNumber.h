#pragma once

#include <optional>

#include "camera/Automation.h"

namespace nebulor {

// A number from the image's header. It counts as missing when the header
// lacks it, when it is the number 0 or empty text, and (so that no text can
// end the program) when it is text that is no number or a value that is not
// finite.
std::optional<double> headerNumber(camera::ImageDocument& document, const char* keyword);

}  // namespace nebulor
