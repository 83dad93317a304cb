#pragma once

#include <functional>
#include <string>

#include "camera/Automation.h"

namespace nebulor::testing {

// The text of the AutomationError the action throws ("" if it throws none).
inline std::string errorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const camera::AutomationError& error) {
    return error.what();
  }
  return "";
}

}  // namespace nebulor::testing
