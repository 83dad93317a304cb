// Creating the imaging application's objects when it is not installed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "AutomationErrorText.h"
#include "camera/maxim/MaximAutomationServer.h"
#include "flows/Startup.h"
#include "support/FlowRig.h"

namespace nebulor::camera::maxim {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(MaximAutomationServerTest, UnregisteredProgIdIsAClearErrorNamingIt) {
  MaximAutomationServer server(MaximProgIds{"Nebulor.Absent.Application", "Nebulor.Absent.Camera"});
  struct Case {
    const char* progId;
    std::function<void()> create;
  };
  const Case cases[] = {{"Nebulor.Absent.Application", [&] { server.createApplication(); }},
                        {"Nebulor.Absent.Camera", [&] { server.createCamera(); }}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.progId);
    const std::string text = testing::automationErrorText(c.create);
    EXPECT_THAT(text, HasSubstr(c.progId));
    EXPECT_THAT(text, HasSubstr("not installed"));
    EXPECT_THAT(text, HasSubstr("0x800401F3"));  // CO_E_CLASSSTRING
  }
}

TEST(MaximAutomationServerTest, NotInstalledIsOneStartUpMessageAndNothingIsSaved) {
  MaximAutomationServer server(MaximProgIds{"Nebulor.Absent.Application", "Nebulor.Absent.Camera"});
  testing::TempFolder temp;
  MonitorState state;
  testing::FakeMonitorUi ui(&state);
  AutomationObjects objects;
  RunStartup(state, ui, server, objects, temp.folder());
  ASSERT_EQ(ui.messages.size(), 1U);
  EXPECT_THAT(ui.messages[0], StartsWith("Failed to start camera."));
  EXPECT_THAT(ui.messages[0], HasSubstr("Nebulor.Absent.Application"));
  EXPECT_FALSE(state.configLoaded);
  EXPECT_EQ(objects.camera, nullptr);
}

}  // namespace
}  // namespace nebulor::camera::maxim
