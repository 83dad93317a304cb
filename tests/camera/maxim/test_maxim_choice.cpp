// Choosing the COM backend: it is the window's default in a Windows build.
#include <gtest/gtest.h>

#include <string>

#include "app/BackendFactory.h"
#include "app/ProgramOptions.h"

namespace nebulor {
namespace {

TEST(MaximChoice, TheWindowDrivesTheImagingApplicationUnlessTold) {
  EXPECT_EQ(parseProgramOptions({}).camera, "maxim");
  EXPECT_EQ(parseProgramOptions({"--camera", "sim"}).camera, "sim");
  EXPECT_EQ(parseProgramOptions({"--demo"}).camera, "sim");  // the demo clicks by script
  EXPECT_NE(programUsage().find("--camera maxim"), std::string::npos);
}

TEST(MaximChoice, MakesTheComBackendWithoutSettings) {
  const camera::Backend backend = camera::makeBackend("maxim", camera::BackendUse::window);
  ASSERT_NE(backend.server, nullptr);
  EXPECT_EQ(backend.clicks, nullptr);  // the user clicks in the imaging application's window
  EXPECT_FALSE(static_cast<bool>(backend.setViewer));
  EXPECT_FALSE(backend.trueSeeing.has_value());
  EXPECT_THROW(camera::makeBackend("maxim:fast", camera::BackendUse::window), camera::BackendChoiceError);
}

}  // namespace
}  // namespace nebulor
