#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/ConfigFile.h"
#include "flows/Startup.h"
#include "support/FlowRig.h"

namespace nebulor {
namespace {

using testing::ButtonStates;
using testing::FlowRig;

constexpr const char* kCameraFailed = "Failed to start camera.";
// The reason in parentheses is the application's error text; the COM
// application's is "are you running on a 64bit OS?" (test_maxim_camera).
constexpr const char* kTelescopeAssignFailed =
    "Unable to connect to telescope (Scripted failure of setTelescopeConnected) - please connect MaximDL to "
    "telescope manually for automatic airmass measurement";
constexpr const char* kTelescopeNotLinked =
    "Failed to connect to telescope - please connect MaximDL to telescope manually for automatic airmass "
    "measurement";

// The state a complete start-up leaves, whatever the telescope did.
void expectIdleState(const MonitorState& s) {
  EXPECT_TRUE(std::all_of(s.fwhmHistory.begin(), s.fwhmHistory.end(), [](float v) { return v == 0; }));
  EXPECT_EQ(s.historyCount, 1);
  EXPECT_EQ(s.sampleIndex, 1);
  EXPECT_EQ(s.badSampleCount, 0);
  EXPECT_EQ(s.longStdDev, 0);
  EXPECT_EQ(s.transStdDev, 0);
  EXPECT_EQ(s.stopRequested, kTrue);
  EXPECT_EQ(s.starsSelected, kFalse);
  EXPECT_TRUE(s.configLoaded);
  EXPECT_EQ(s.config, defaultConfig());
  EXPECT_EQ(s.fwhmHistory[s.historyCount == 1 ? kHistorySlots : s.historyCount - 1], 0);
}

// The untouched state of a start-up that ended at the camera link.
void expectUnloadedState(const MonitorState& s) {
  EXPECT_FALSE(s.configLoaded);
  EXPECT_EQ(s.config, Config{});
  EXPECT_EQ(s.historyCount, 0);
  EXPECT_EQ(s.sampleIndex, 0);
  EXPECT_EQ(s.stopRequested, kFalse);
}

TEST(Startup, EachOutcomeGivesItsMessagesAndState) {
  struct Case {
    const char* name;
    int linkReadsTrue;
    const char* failingCall;
    bool telescopeAnswers;
    std::vector<std::string> messages;
    bool complete;
  };
  const Case cases[] = {
      {"camera and telescope linked", 1 << 30, nullptr, true, {}, true},
      {"camera link reads back false", 0, nullptr, true, {kCameraFailed}, false},
      {"telescope assignment raises", 1 << 30, "setTelescopeConnected", true, {kTelescopeAssignFailed}, true},
      {"telescope reads back false", 1 << 30, nullptr, false, {kTelescopeNotLinked}, true},
      {"telescope read-back raises", 1 << 30, "telescopeConnected", true, {kTelescopeNotLinked}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FlowRig rig;
    rig.server.linkReadsTrue = c.linkReadsTrue;
    rig.server.telescopeAnswers = c.telescopeAnswers;
    if (c.failingCall) rig.server.faults.failAfter[c.failingCall] = 0;

    rig.startUp();

    EXPECT_EQ(rig.ui.messages, c.messages);
    EXPECT_EQ(rig.state.camera, rig.server.camera);
    EXPECT_EQ(rig.state.maximApp, rig.server.application);
    if (c.complete) {
      expectIdleState(rig.state);
      EXPECT_EQ(rig.ui.updateCount, 1);
      // Linked, no stars yet: only the start/stop command is unavailable.
      EXPECT_EQ(rig.ui.buttons, (ButtonStates{false, "Start Monitoring", true, true}));
    } else {
      expectUnloadedState(rig.state);
      EXPECT_EQ(rig.ui.updateCount, 0);
      EXPECT_EQ(rig.ui.buttons, ButtonStates{});        // design-time state
      EXPECT_FALSE(rig.server.application->requested);  // no telescope link tried
    }
  }
}

// Each backend names itself where the user has to act: the COM application
// as "MaximDL", the others by their own name.
TEST(Startup, TelescopeMessagesNameTheApplication) {
  for (const char* name : {"MaximDL", "the simulator", "the INDI driver \"CCD\" on server localhost:7624"}) {
    FlowRig rig;
    rig.server.applicationName = name;
    rig.server.telescopeAnswers = false;
    rig.startUp();
    EXPECT_EQ(rig.ui.messages, std::vector<std::string>{
                                   "Failed to connect to telescope - please connect " + std::string(name) +
                                   " to telescope manually for automatic airmass measurement"});
  }
}

TEST(Startup, LinksTheCameraInOrder) {
  FlowRig rig;
  rig.startUp();
  const testing::CallLog expected = {"LinkEnabled true", "read LinkEnabled", "DisableAutoShutdown true"};
  EXPECT_EQ(rig.server.calls, expected);
}

TEST(Startup, AnApplicationThatCannotBeReachedLeavesTheConfigurationUnloaded) {
  for (const char* failing : {"createApplication", "createCamera", "setLinkEnabled", "linkEnabled"}) {
    SCOPED_TRACE(failing);
    FlowRig rig;
    rig.temp.write(kConfigFileName, "holeDistance,120\r\n");
    rig.server.faults.failAfter[failing] = 0;

    rig.startUp();

    ASSERT_EQ(rig.ui.messages.size(), 1u);
    EXPECT_EQ(rig.ui.messages[0].rfind(kCameraFailed, 0), 0u);
    EXPECT_NE(rig.ui.messages[0].find("Scripted failure of " + std::string(failing)), std::string::npos);
    expectUnloadedState(rig.state);
    // Saving now must not write the zeros over the user's file.
    EXPECT_TRUE(SaveConfig(rig.state.config, rig.state.configLoaded, rig.temp.folder()).has_value());
    EXPECT_EQ(rig.temp.read(kConfigFileName), "holeDistance,120\r\n");
  }
}

TEST(Startup, LoadsConfigIniAndReportsUnusableValuesLastInOneMessage) {
  FlowRig rig;
  rig.server.telescopeAnswers = false;
  rig.temp.write(kConfigFileName, "samplesPerReading,50\r\nholeDiameter,wide\r\nwavelength,-1\r\n");

  rig.startUp();

  EXPECT_EQ(rig.state.config.samplesPerReading, 50);
  EXPECT_EQ(rig.state.config.holeDiameter, defaultConfig().holeDiameter);
  ASSERT_EQ(rig.ui.messages.size(), 2u);
  EXPECT_EQ(rig.ui.messages[0], kTelescopeNotLinked);
  const std::string& warnings = rig.ui.messages[1];
  EXPECT_NE(warnings.find("holeDiameter"), std::string::npos);
  EXPECT_NE(warnings.find("wavelength"), std::string::npos);
  EXPECT_EQ(warnings.find("samplesPerReading"), std::string::npos);
}

TEST(Startup, AfterAFailedLinkTheFirstStartClickOnlyReturnsToIdle) {
  FlowRig rig;
  rig.server.linkReadsTrue = 0;
  rig.startUp();
  const int exposures = rig.camera().exposures;

  rig.cycle.CommandStartAbort_Click();

  EXPECT_EQ(rig.state.stopRequested, kTrue);
  EXPECT_EQ(rig.ui.buttons, (ButtonStates{false, "Start Monitoring", true, true}));  // idle, no stars
  EXPECT_EQ(rig.camera().exposures, exposures);
  EXPECT_EQ(rig.ui.messages, std::vector<std::string>{kCameraFailed});

  // A second click finds no stars selected and says so instead of measuring.
  rig.cycle.CommandStartAbort_Click();
  EXPECT_EQ(rig.ui.messages.size(), 2u);
  EXPECT_EQ(rig.camera().exposures, exposures);
  EXPECT_FALSE(rig.cycle.logOpen());
}

TEST(Startup, CommandsFollowEachSituationOfASession) {
  FlowRig rig;
  rig.startUp();
  EXPECT_EQ(rig.ui.buttons, (ButtonStates{false, "Start Monitoring", true, true}));

  rig.selectStars({400, 300, 25}, {460, 300, 25});
  EXPECT_EQ(rig.ui.buttons, (ButtonStates{true, "Start Monitoring", true, true}));

  std::vector<ButtonStates> duringRun;
  rig.camera().imageFor = [](int) {
    testing::ScriptedImage image;
    image.pollsUntilReady = 1;
    return image;
  };
  int updates = 0;
  rig.ui.onUpdateDisplay = [&] { ++updates; };
  rig.ui.onDispatch = [&] {
    duringRun.push_back(rig.ui.buttons);
    if (updates == 2) rig.cycle.CommandStartAbort_Click();
  };
  rig.cycle.CommandStartAbort_Click();

  ASSERT_FALSE(duringRun.empty());
  // Every refresh during the run keeps the start/stop command enabled.
  for (const ButtonStates& seen : duringRun)
    EXPECT_EQ(seen, (ButtonStates{true, "Stop Monitoring", false, false}));
  EXPECT_EQ(rig.ui.buttons, (ButtonStates{true, "Start Monitoring", true, true}));
}

}  // namespace
}  // namespace nebulor
