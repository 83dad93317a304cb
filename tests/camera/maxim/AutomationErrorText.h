#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "camera/Automation.h"

namespace nebulor::testing {

// The text of the AutomationError that `action` throws; a test failure, and
// an empty text, when it throws none.
inline std::string automationErrorText(const std::function<void()>& action) {
  try {
    action();
  } catch (const camera::AutomationError& error) {
    return error.what();
  }
  ADD_FAILURE() << "no AutomationError";
  return {};
}

}  // namespace nebulor::testing
