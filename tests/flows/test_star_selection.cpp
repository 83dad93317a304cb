#include <gtest/gtest.h>

#include <cmath>

#include "flows/StarSelection.h"
#include "support/FlowRig.h"

namespace nebulor {
namespace {

using testing::ButtonStates;
using testing::ClickScript;
using testing::FlowRig;
using testing::ScriptedImage;

// The box built round two centroids on a 1280 x 1024 sensor.
struct BoxCase {
  const char* name;
  double x1, y1, x2, y2;
  std::int16_t minX, maxX, minY, maxY;
};

MonitorState boxAround(const BoxCase& c) {
  MonitorState state;
  state.subframeMargin = kSubframeMargin;
  startSubframe(state);
  includeInSubframe(state, c.x1, c.y1);
  includeInSubframe(state, c.x2, c.y2);
  widenAndClipSubframe(state, 1280, 1024);
  return state;
}

TEST(SubframeBox, BuildsTheBoxRoundBothStarsWithMarginRoundingAndClipping) {
  const BoxCase cases[] = {
      // Edges round half to even: 100.5 -> 100, 201.5 -> 202.
      {"halves to even", 100.5, 300, 201.5, 300, 50, 252, 250, 350},
      {"two stars 60 px apart", 500.3, 400.2, 560.6, 410.8, 450, 611, 350, 461},
      {"coinciding centroids", 600.3, 400.7, 600.3, 400.7, 550, 650, 351, 451},
      {"star 20 px from the left edge", 20, 500, 80, 500, 0, 130, 450, 550},
      {"star 20 px from the right edge", 1200, 500, 1260, 500, 1150, 1280, 450, 550},
      {"stars at the top and bottom edges", 640, 10, 640, 1014, 590, 690, 0, 1024},
      {"order of the stars does not matter", 560.6, 410.8, 500.3, 400.2, 450, 611, 350, 461},
  };
  for (const BoxCase& c : cases) {
    SCOPED_TRACE(c.name);
    const MonitorState state = boxAround(c);
    EXPECT_EQ(state.subframeMinX, c.minX);
    EXPECT_EQ(state.subframeMaxX, c.maxX);
    EXPECT_EQ(state.subframeMinY, c.minY);
    EXPECT_EQ(state.subframeMaxY, c.maxY);
    EXPECT_TRUE(subframeOnSensor(state, 1280, 1024));
  }
}

TEST(SubframeBox, RoundingToSixteenBitsIsHalfToEvenAndNeverUndefined) {
  EXPECT_EQ(roundToInt16(12.5), 12);
  EXPECT_EQ(roundToInt16(13.5), 14);
  EXPECT_EQ(roundToInt16(-2.5), -2);
  EXPECT_EQ(roundToInt16(1e9), 32767);
  EXPECT_EQ(roundToInt16(-1e9), -32768);
  EXPECT_EQ(roundToInt16(std::nan("")), 0);
}

TEST(SubframeBox, UnmovedStarsGiveBackTheSameBoxAndPositions) {
  FlowRig rig;
  rig.startUp();
  MonitorState& s = rig.state;
  s.subframeMargin = kSubframeMargin;
  s.subframeMinX = 450;
  s.subframeMaxX = 611;
  s.subframeMinY = 350;
  s.subframeMaxY = 461;
  s.starX = {0, 50.3f, 110.6f};
  s.starY = {0, 50.2f, 60.8f};
  const MonitorState before = s;
  UpdateSubframe(s, rig.camera());
  EXPECT_EQ(s.subframeMinX, before.subframeMinX);
  EXPECT_EQ(s.subframeMaxX, before.subframeMaxX);
  EXPECT_EQ(s.subframeMinY, before.subframeMinY);
  EXPECT_EQ(s.subframeMaxY, before.subframeMaxY);
  EXPECT_EQ(s.starX, before.starX);
  EXPECT_EQ(s.starY, before.starY);
}

TEST(SubframeBox, UpdateFollowsAMovedStarAndKeepsSensorPositions) {
  FlowRig rig;
  rig.startUp();
  MonitorState& s = rig.state;
  s.subframeMargin = kSubframeMargin;
  startSubframe(s);
  includeInSubframe(s, 500.3f, 400);
  includeInSubframe(s, 560.6f, 400);
  widenAndClipSubframe(s, 1280, 1024);
  ASSERT_EQ(s.subframeMinX, 450);
  ASSERT_EQ(s.subframeMaxX, 611);
  // Star 1 moved to sensor column 503.7; star 2 stayed at 560.6.
  s.starX = {0, 53.7f, 560.6f - 450};
  s.starY = {0, 50, 50};
  const float sensorX2 = 450 + s.starX[2];
  UpdateSubframe(s, rig.camera());
  EXPECT_EQ(s.subframeMinX, 454);
  EXPECT_EQ(s.subframeMaxX, 611);
  EXPECT_NEAR(s.starX[1], 49.7f, 1e-4);
  EXPECT_NEAR(s.starX[2], 106.6f, 1e-4);
  EXPECT_FLOAT_EQ(s.subframeMinX + s.starX[2], sensorX2);
}

TEST(StarSelection, TakesAFullFrameWaitsForTwoClicksAndBuildsTheBox) {
  FlowRig rig;
  rig.startUp();
  rig.state.config.initialExposure = 0.75f;
  ScriptedImage fullFrame;
  fullFrame.pollsUntilReady = 3;
  fullFrame.centroids = {{100.5, 300.25, 25}, {201.5, 310.75, 25}};
  rig.camera().images.push_back(fullFrame);
  ClickScript clicks(rig.camera(), {{101, 299}, {202, 311}});
  std::vector<ButtonStates> seen;
  rig.ui.onDispatch = [&] {
    seen.push_back(rig.ui.buttons);
    clicks.step();
  };
  rig.server.calls.clear();

  rig.selection.CommandSelect_Click();

  const testing::CallLog expectedStart = {"SetFullFrame", "expose " + std::to_string(0.75f), "document",
                                          "prepare"};
  ASSERT_GE(rig.server.calls.size(), 6u);
  EXPECT_EQ(testing::CallLog(rig.server.calls.begin(), rig.server.calls.begin() + 4), expectedStart);
  EXPECT_EQ(rig.server.calls[4], "centroid 101 299 reference");
  EXPECT_EQ(rig.server.calls[5], "centroid 202 311 reference");
  // The image wait sleeps 100 ms before each of its three dispatches; the
  // click waits 10 ms per poll.
  EXPECT_GT(rig.ui.sleeps, 3);
  EXPECT_EQ(rig.ui.slept, std::chrono::milliseconds(3 * 100 + (rig.ui.sleeps - 3) * 10));
  EXPECT_EQ(rig.ui.beeps, 2);
  // Only "About" is usable while the selection runs.
  ASSERT_FALSE(seen.empty());
  for (const ButtonStates& during : seen) {
    EXPECT_FALSE(during.startAbort);
    EXPECT_FALSE(during.select);
    EXPECT_FALSE(during.setup);
  }
  EXPECT_EQ(rig.ui.buttons, ButtonStates{});  // all enabled again, "Start Monitoring"
  const MonitorState& s = rig.state;
  EXPECT_EQ(s.starsSelected, kTrue);
  EXPECT_EQ(s.subframeMargin, 50);
  EXPECT_EQ(s.subframeMinX, 50);
  EXPECT_EQ(s.subframeMaxX, 252);
  EXPECT_EQ(s.subframeMinY, 250);
  EXPECT_EQ(s.subframeMaxY, 361);
  EXPECT_FLOAT_EQ(s.starX[1], 100.5f - 50);
  EXPECT_FLOAT_EQ(s.starY[1], 300.25f - 250);
  EXPECT_FLOAT_EQ(s.starX[2], 201.5f - 50);
  EXPECT_FLOAT_EQ(s.starY[2], 310.75f - 250);
  EXPECT_TRUE(rig.ui.messages.empty());
}

TEST(StarSelection, TheSecondStarWaitsUntilTheFirstClickHasEnded) {
  FlowRig rig;
  rig.startUp();
  ScriptedImage fullFrame;
  fullFrame.centroids = {{400, 300, 25}, {460, 300, 25}};
  rig.camera().images.push_back(fullFrame);
  // The first press is held for many dispatches after it has been handled.
  ClickScript clicks(rig.camera(), {{400, 300}, {460, 301}}, 50);
  rig.ui.onDispatch = [&] { clicks.step(); };
  rig.server.calls.clear();

  rig.selection.CommandSelect_Click();

  const testing::CallLog expected = {"centroid 400 300 reference", "centroid 460 301 reference"};
  testing::CallLog searches;
  for (const std::string& call : rig.server.calls) {
    if (call.rfind("centroid", 0) == 0) searches.push_back(call);
  }
  EXPECT_EQ(searches, expected);
  EXPECT_GT(rig.ui.dispatches, 50);  // the first press was held through the second wait
}

TEST(StarSelection, AStarNearTheLeftEdgeKeepsItsSensorColumn) {
  FlowRig rig;
  rig.startUp();
  rig.selectStars({20.25, 500, 30}, {80, 500, 30});
  EXPECT_EQ(rig.state.subframeMinX, 0);
  EXPECT_FLOAT_EQ(rig.state.starX[1], 20.25f);
}

TEST(StarSelection, ErrorsAndAbandonedSelectionsLeaveTheCommandsIdle) {
  struct Case {
    const char* name;
    const char* failingCall;  // scripted AutomationError, or nullptr
    bool prepareFails;
    bool closeWindow;
    bool offSensor;
    bool selected;
    bool message;
  };
  const Case cases[] = {
      {"centroid search fails", "centroid", false, false, false, false, true},
      {"exposure fails", "expose", false, false, false, false, true},
      {"image preparation fails: ignored", nullptr, true, false, false, true, false},
      {"window closed during the image wait", nullptr, false, true, false, false, false},
      {"centroid off the sensor", nullptr, false, false, true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FlowRig rig;
    rig.startUp();
    ScriptedImage fullFrame;
    fullFrame.pollsUntilReady = 2;
    if (c.offSensor) fullFrame.centroids = {{-400, -300, 20}, {-380, -300, 20}};
    rig.camera().images.push_back(fullFrame);
    if (c.failingCall) rig.server.faults.failAfter[c.failingCall] = 0;
    if (c.prepareFails) rig.server.faults.failAfter["prepare"] = 0;
    ClickScript clicks(rig.camera(), {{400, 300}, {460, 300}});
    rig.ui.onDispatch = [&] {
      if (c.closeWindow) rig.ui.closing = true;
      clicks.step();
    };

    rig.selection.CommandSelect_Click();

    EXPECT_EQ(rig.state.starsSelected, c.selected ? kTrue : kFalse);
    EXPECT_EQ(rig.ui.messages.size(), c.message ? 1u : 0u);
    if (c.failingCall) {
      ASSERT_FALSE(rig.ui.messages.empty());
      EXPECT_NE(rig.ui.messages[0].find("Scripted failure"), std::string::npos);
    }
    if (!c.closeWindow) {
      EXPECT_TRUE(rig.ui.buttons.select);
      EXPECT_TRUE(rig.ui.buttons.setup);
      EXPECT_EQ(rig.ui.buttons.startAbort, c.selected);
    }
  }
}

TEST(StarSelection, ANewSelectionClearsTheOldOneAtOnce) {
  FlowRig rig;
  rig.startUp();
  rig.selectStars({400, 300, 25}, {460, 300, 25});
  ASSERT_EQ(rig.state.starsSelected, kTrue);
  rig.server.faults.failAfter["expose"] = 0;
  rig.selection.CommandSelect_Click();
  EXPECT_EQ(rig.state.starsSelected, kFalse);
  EXPECT_FALSE(rig.ui.buttons.startAbort);
}

TEST(StarSelection, WithoutACameraObjectTheCommandReportsIt) {
  MonitorState state;
  testing::FakeMonitorUi ui(&state);
  StarSelection selection(state, ui);
  selection.CommandSelect_Click();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(state.starsSelected, kFalse);
  EXPECT_TRUE(ui.buttons.select);
}

TEST(StarSelection, ClosingTheImageWindowEndsTheSelectionAsAStopWould) {
  // Closed during the image wait, and between the two clicks.
  for (const int closeAtDispatch : {1, 8}) {
    SCOPED_TRACE(closeAtDispatch);
    FlowRig rig;
    rig.startUp();
    ScriptedImage fullFrame;
    fullFrame.pollsUntilReady = 2;
    fullFrame.centroids = {{400, 300, 25}, {460, 300, 25}};
    rig.camera().images.push_back(fullFrame);
    ClickScript clicks(rig.camera(), {{400, 300}}, 2);  // the second star is never clicked
    const int start = rig.ui.dispatches;
    rig.ui.onDispatch = [&] {
      clicks.step();
      if (rig.ui.dispatches - start == closeAtDispatch) rig.selection.imageWindowClosed();
    };

    rig.selection.CommandSelect_Click();

    EXPECT_FALSE(rig.ui.dispatchLimitReached);
    EXPECT_EQ(rig.state.starsSelected, kFalse);
    EXPECT_EQ(rig.state.mode, ProgramMode::idle);
    EXPECT_EQ(rig.ui.buttons, (ButtonStates{false, "Start Monitoring", true, true}));
    EXPECT_TRUE(rig.ui.messages.empty());
  }
  // A close outside a selection is forgotten: the next one runs to its end.
  FlowRig rig;
  rig.startUp();
  rig.selection.imageWindowClosed();
  rig.selectStars({400, 300, 25}, {460, 300, 25});
  EXPECT_EQ(rig.state.starsSelected, kTrue);
}

TEST(StarSelection, AnyExceptionIsShownAndTheCommandsReturnToIdle) {
  FlowRig rig;
  rig.startUp();
  rig.server.faults.logicError = true;
  rig.server.faults.failAfter["expose"] = 0;
  rig.selection.CommandSelect_Click();
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_NE(rig.ui.messages[0].find("Scripted bug in expose"), std::string::npos);
  EXPECT_EQ(rig.state.mode, ProgramMode::idle);
  EXPECT_EQ(rig.ui.buttons, (ButtonStates{false, "Start Monitoring", true, true}));
}

// Where the clicks are made in the other application's window, the two
// checks run after the second click: a click that found no star image, or
// the star image already chosen, refuses the selection with its reason.
TEST(StarSelection, ClicksThatCannotBeTwoStarImagesRefuseTheSelection) {
  const struct {
    const char* name;
    stars::Centroid star1, star2;
    const char* message;
  } cases[] = {
      {"first click on empty sky",
       {400, 300, 3.25},
       {460, 300, 25},
       "The first click was refused: no star image was found there (detection score 3.2, 10 needed)."},
      {"second click on empty sky",
       {400, 300, 25},
       {460, 300, 9.9},
       "The second click was refused: no star image was found there (detection score 9.9, 10 needed)."},
      {"the same star twice",
       {400, 300, 25},
       {401.5, 302, 25},
       "The second click was refused: it is the star image already chosen."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FlowRig rig;
    rig.startUp();
    rig.selectStars(c.star1, c.star2);
    EXPECT_EQ(rig.state.starsSelected, kFalse);
    EXPECT_EQ(rig.ui.messages,
              std::vector<std::string>{
                  std::string(c.message) +
                  " Please select the stars again, clicking each of the two star images once."});
    EXPECT_EQ(rig.ui.buttons, (ButtonStates{false, "Start Monitoring", true, true}));
  }
  FlowRig rig;  // just far enough apart, just clean enough
  rig.startUp();
  rig.selectStars({400, 300, 10}, {405, 300, 10});
  EXPECT_EQ(rig.state.starsSelected, kTrue);
}

}  // namespace
}  // namespace nebulor
