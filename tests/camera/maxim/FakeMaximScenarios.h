#pragma once

// clang-format off
#include <windows.h>  // first: the COM headers build on it
// clang-format on

#include <string>
#include <vector>

// The imaging applications the fake COM server offers, each a pair of
// classes (application, camera) over Nebulor's simulator with its own
// settings. The first answers to the imaging application's real ProgIDs.
namespace nebulor::testing {

struct FakeMaximScenario {
  std::string name;
  std::string applicationProgId;
  std::string cameraProgId;
  CLSID applicationClass;
  CLSID cameraClass;
  std::string simSettings;  // as after "--camera sim:"
};

const std::vector<FakeMaximScenario>& fakeMaximScenarios();
const FakeMaximScenario& fakeMaximScenario(const std::string& name);

}  // namespace nebulor::testing
