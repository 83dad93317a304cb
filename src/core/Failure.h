#pragma once

#include <string>

namespace nebulor {

// Why an operation did not do what was asked, one line for the user.
// Operations that can fail this way return std::optional<Failure>: nothing
// when they worked. Devices and files report by exception instead.
struct Failure {
  std::string reason;
};

}  // namespace nebulor
