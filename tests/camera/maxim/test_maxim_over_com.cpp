// Nebulor's flows driving the imaging application through real COM: the
// objects are created by ProgID, COM starts the fake server in a process of
// its own, and every call crosses the process boundary through the standard
// IDispatch marshalling. The server serves Nebulor's simulator, so each
// session must end exactly as the same flows end over the simulator in this
// process: any value the COM path loses, rounds or reorders shows as a
// difference.
// clang-format off
#include <windows.h>  // first: the COM headers build on it
#include <objbase.h>
// clang-format on

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "AutomationErrorText.h"
#include "FakeMaximScenarios.h"
#include "camera/maxim/MaximAutomationServer.h"
#include "camera/sim/SimServer.h"
#include "camera/sim/SimSettings.h"
#include "measure/RawLog.h"
#include "support/FlowRig.h"

namespace nebulor {
namespace {

using testing::FakeMaximScenario;
using testing::fakeMaximScenario;

constexpr int kReadings = 2;

// One program run: start-up, star selection, monitoring until kReadings
// readings have been shown or the run ends by itself.
struct Session {
  testing::TempFolder temp;
  MonitorState state;
  testing::FakeMonitorUi ui{&state};
  AutomationObjects objects;
  StarSelection selection{state, ui};
  MeasurementCycle cycle{state, ui, temp.folder()};
  int shown = 0;

  explicit Session(camera::AutomationServer& server) {
    RunStartup(state, ui, server, objects, temp.folder());
    if (state.stopRequested != kTrue) return;  // start-up failed
    selection.CommandSelect_Click();
    if (state.starsSelected != kTrue) return;
    ui.onUpdateDisplay = [this] {
      if (++shown > kReadings) cycle.CommandStartAbort_Click();  // "Stop Monitoring"
    };
    cycle.CommandStartAbort_Click();
  }

  // The log rows without their local date and time.
  std::vector<std::string> logValues() const {
    std::vector<std::string> values;
    for (const std::string& row : testing::rawLogRows(temp.read(kRawLogFileName))) {
      values.push_back(row.substr(row.find(',') + 1));
    }
    return values;
  }
};

// The same messages, but that each backend names itself: MaximDL where the
// simulator says "the simulator", and its own words for a telescope that fails.
std::string asOverCom(std::string message) {
  const auto replace = [&message](const std::string& from, const std::string& to) {
    for (auto at = message.find(from); at != std::string::npos; at = message.find(from, at + to.size())) {
      message.replace(at, from.size(), to);
    }
  };
  replace("(the simulated telescope does not answer)", "(are you running on a 64bit OS?)");
  replace("the simulator", "MaximDL");
  return message;
}

void expectSameSession(const Session& com, const Session& local) {
  std::vector<std::string> localMessages;
  for (const std::string& message : local.ui.messages) localMessages.push_back(asOverCom(message));
  EXPECT_EQ(com.ui.messages, localMessages);
  EXPECT_EQ(com.ui.buttons, local.ui.buttons);
  EXPECT_EQ(com.ui.coords, local.ui.coords);
  EXPECT_EQ(com.ui.moved, local.ui.moved);
  EXPECT_EQ(com.shown, local.shown);
  EXPECT_EQ(com.state.config, local.state.config);
  EXPECT_EQ(com.state.starsSelected, local.state.starsSelected);
  EXPECT_EQ(com.state.subframeMinX, local.state.subframeMinX);
  EXPECT_EQ(com.state.subframeMaxX, local.state.subframeMaxX);
  EXPECT_EQ(com.state.subframeMinY, local.state.subframeMinY);
  EXPECT_EQ(com.state.subframeMaxY, local.state.subframeMaxY);
  EXPECT_EQ(com.state.starX, local.state.starX);
  EXPECT_EQ(com.state.starY, local.state.starY);
  EXPECT_EQ(com.state.sampleX, local.state.sampleX);
  EXPECT_EQ(com.state.sampleY, local.state.sampleY);
  EXPECT_EQ(com.state.fwhmHistory, local.state.fwhmHistory);
  EXPECT_EQ(com.state.historyCount, local.state.historyCount);
  EXPECT_EQ(com.state.longStdDev, local.state.longStdDev);
  EXPECT_EQ(com.state.transStdDev, local.state.transStdDev);
  EXPECT_EQ(com.state.badSampleCount, local.state.badSampleCount);
  EXPECT_EQ(com.state.stopRequested, local.state.stopRequested);
  EXPECT_EQ(com.logValues(), local.logValues());
}

// True when the scenario's ProgIDs lead to the fake server: these tests must
// never drive a real imaging application (and its camera) by mistake.
bool fakeRegistered(const FakeMaximScenario& scenario) {
  CLSID application{};
  CLSID camera{};
  const std::wstring applicationProgId(scenario.applicationProgId.begin(), scenario.applicationProgId.end());
  const std::wstring cameraProgId(scenario.cameraProgId.begin(), scenario.cameraProgId.end());
  return SUCCEEDED(CLSIDFromProgID(applicationProgId.c_str(), &application)) &&
         SUCCEEDED(CLSIDFromProgID(cameraProgId.c_str(), &camera)) &&
         IsEqualCLSID(application, scenario.applicationClass) && IsEqualCLSID(camera, scenario.cameraClass);
}

const char* const kNotRegistered =
    "the fake imaging application is not registered (nebulor_fake_maxim /RegServer, under wine)";

class MaximOverCom : public ::testing::TestWithParam<const char*> {
 protected:
  const FakeMaximScenario& scenario = fakeMaximScenario(GetParam());
  camera::maxim::MaximAutomationServer com{{scenario.applicationProgId, scenario.cameraProgId}};
  camera::sim::SimServer local{camera::sim::parseSimSettings(scenario.simSettings)};
};

TEST_P(MaximOverCom, SessionEndsAsOverTheSimulatorInProcess) {
  if (!fakeRegistered(scenario)) GTEST_SKIP() << kNotRegistered;
  const Session overCom(com);
  const Session inProcess(local);
  expectSameSession(overCom, inProcess);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, MaximOverCom,
                         ::testing::Values("Night", "TelescopeRaises", "NoFocalLength", "NoLink"));

// The comparison above proves nothing if the sessions did nothing: the plain
// night must select, measure and stop by the user's hand, with no message.
TEST(MaximOverComNight, SelectsTheStarsAndCompletesReadings) {
  const FakeMaximScenario& night = fakeMaximScenario("Night");
  EXPECT_EQ(night.applicationProgId, "MaxIm.Application");  // created by the imaging application's own names
  camera::maxim::MaximAutomationServer server;              // joins COM, which the registry lookup needs
  if (!fakeRegistered(night)) GTEST_SKIP() << kNotRegistered;
  const Session session(server);
  EXPECT_TRUE(session.ui.messages.empty());
  EXPECT_EQ(session.state.starsSelected, kTrue);
  EXPECT_EQ(session.shown, kReadings + 1);
  EXPECT_GE(session.logValues().size(),
            static_cast<std::size_t>(kReadings * session.state.config.samplesPerReading));
  int readings = 0;
  for (const float seeing : session.state.fwhmHistory) readings += seeing > 0 ? 1 : 0;
  EXPECT_EQ(readings, kReadings);
}

// The telescope link's failure reads as the Windows start-up message words it,
// whatever the application said.
TEST(MaximOverComErrors, ATelescopeLinkErrorReadsAsTheStartupMessageWordsIt) {
  const FakeMaximScenario& scenario = fakeMaximScenario("TelescopeRaises");
  camera::maxim::MaximAutomationServer server({scenario.applicationProgId, scenario.cameraProgId});
  if (!fakeRegistered(scenario)) GTEST_SKIP() << kNotRegistered;
  const auto application = server.createApplication();
  const std::string text = testing::automationErrorText([&] { application->setTelescopeConnected(true); });
  EXPECT_EQ(text, "are you running on a 64bit OS?");
}

}  // namespace
}  // namespace nebulor
