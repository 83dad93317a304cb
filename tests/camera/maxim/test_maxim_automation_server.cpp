// Creating the imaging application's objects when it is not installed.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "camera/maxim/MaximAutomationServer.h"
#include "monitor/Startup.h"
#include "support/FlowRig.h"

namespace nebulor::camera::maxim {
namespace {

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
    try {
      c.create();
      ADD_FAILURE() << "no error";
    } catch (const AutomationError& error) {
      const std::string text = error.what();
      EXPECT_NE(text.find(c.progId), std::string::npos) << text;
      EXPECT_NE(text.find("not installed"), std::string::npos) << text;
      EXPECT_NE(text.find("0x800401F3"), std::string::npos) << text;  // CO_E_CLASSSTRING
    }
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
  EXPECT_EQ(ui.messages[0].rfind("Failed to start camera.", 0), 0U) << ui.messages[0];
  EXPECT_NE(ui.messages[0].find("Nebulor.Absent.Application"), std::string::npos) << ui.messages[0];
  EXPECT_FALSE(state.configLoaded);
  EXPECT_EQ(objects.camera, nullptr);
}

}  // namespace
}  // namespace nebulor::camera::maxim
