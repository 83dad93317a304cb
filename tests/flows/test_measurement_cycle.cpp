#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/FriedParameter.h"
#include "core/NumberText.h"
#include "flows/MeasurementCycle.h"
#include "measure/ReadingsLog.h"
#include "measure/SeeingReduction.h"
#include "measure/WindFromExposures.h"
#include "support/FlowRig.h"
#ifdef __linux__
#include "support/FileSizeLimit.h"
#endif

namespace nebulor {
namespace {

using testing::ButtonStates;
using testing::FlowRig;
using testing::ScriptedImage;

constexpr const char* kFocalMessage =
    "Unable to read focal length from exposure - please check MaximDL setup";
constexpr const char* kPixelMessage = "Unable to read pixel size from exposure - please check MaximDL setup";

// A rig with the stars selected, ready to monitor.
struct Monitoring : FlowRig {
  Monitoring() {
    startUp();
    selectStars({400.3, 300.6, 25}, {460.2, 302.1, 25});
    // Unless a test scripts otherwise, every image wait dispatches once.
    camera().imageFor = [](int) {
      ScriptedImage image;
      image.pollsUntilReady = 1;
      return image;
    };
  }

  // Clicks the start/stop button from inside the next event dispatch.
  void stopAtNextDispatch() {
    ui.onDispatch = [this] {
      ui.onDispatch = nullptr;
      cycle.CommandStartAbort_Click();
    };
  }

  // Clicks the start/stop button in the image wait of the run's n-th
  // exposure (every wait dispatches, even for an image ready at once).
  void stopInExposure(int n) {
    const int target = camera().exposures + n;
    ui.onDispatch = [this, target] {
      if (camera().exposures < target) return;
      ui.onDispatch = nullptr;
      cycle.CommandStartAbort_Click();
    };
  }

  // Stops the run once it shows the given number of completed readings.
  void stopAfterReadings(int readings) {
    ui.onUpdateDisplay = [this, readings] {
      if (++shown > readings) stopAtNextDispatch();
    };
  }

  int shown = 0;
};

std::vector<std::string> fields(const std::string& row) {
  std::vector<std::string> out;
  std::stringstream in(row);
  for (std::string field; std::getline(in, field, ',');) out.push_back(field);
  return out;
}

TEST(MeasurementCycle, AStopClickDuringTheImageWaitEndsTheRunAtOnce) {
  Monitoring rig;
  const auto starX = rig.state.starX;
  const auto starY = rig.state.starY;
  const auto history = rig.state.fwhmHistory;
  ScriptedImage slow;
  slow.pollsUntilReady = 1000;
  rig.camera().images = {ScriptedImage{}, ScriptedImage{}, slow};
  const int third = rig.camera().exposures + 3;
  ButtonStates running;
  ButtonStates afterStop;
  rig.ui.onDispatch = [&] {
    if (rig.camera().exposures < third) return;
    rig.ui.onDispatch = nullptr;
    running = rig.ui.buttons;
    rig.cycle.CommandStartAbort_Click();  // the stop click
    afterStop = rig.ui.buttons;
    EXPECT_TRUE(rig.cycle.logOpen());  // the run itself closes it on its way out
  };

  rig.cycle.CommandStartAbort_Click();

  EXPECT_EQ(running, (ButtonStates{true, "Stop Monitoring", false, false}));
  // "Start Monitoring" from the moment of the click; nothing can start until the run has returned.
  EXPECT_EQ(afterStop, (ButtonStates{false, "Start Monitoring", false, false}));
  EXPECT_EQ(rig.ui.buttons, ButtonStates{});
  EXPECT_EQ(rig.state.stopRequested, kTrue);
  EXPECT_FALSE(rig.cycle.logOpen());
  EXPECT_FALSE(rig.cycle.running());
  EXPECT_EQ(rig.state.fwhmHistory, history);
  EXPECT_EQ(rig.state.historyCount, 1);
  EXPECT_EQ(rig.state.starX, starX);
  EXPECT_EQ(rig.state.starY, starY);
  EXPECT_EQ(rig.logRows().size(), 2u);  // the two exposures measured before the stop
  EXPECT_TRUE(rig.ui.messages.empty());
}

TEST(MeasurementCycle, StartSendsTheBoxAndLogsEveryExposure) {
  Monitoring rig;
  rig.state.config.samplesPerReading = 3;
  rig.stopAfterReadings(2);
  rig.server.calls.clear();
  const MonitorState& s = rig.state;
  const testing::CallLog expectedStart = {
      "StartX " + std::to_string(s.subframeMinX), "NumX " + std::to_string(s.subframeMaxX - s.subframeMinX),
      "StartY " + std::to_string(s.subframeMinY), "NumY " + std::to_string(s.subframeMaxY - s.subframeMinY)};

  rig.cycle.CommandStartAbort_Click();

  // First the selection's box; after each reading the box that follows the stars.
  ASSERT_GE(rig.server.calls.size(), 4u);
  EXPECT_EQ(testing::CallLog(rig.server.calls.begin(), rig.server.calls.begin() + 4), expectedStart);
  EXPECT_EQ(rig.camera().subframe.at("StartX"), s.subframeMinX);
  EXPECT_EQ(rig.camera().subframe.at("NumX"), s.subframeMaxX - s.subframeMinX);
  EXPECT_EQ(rig.camera().subframe.at("NumY"), s.subframeMaxY - s.subframeMinY);
  EXPECT_EQ(std::string(rig.temp.read(kRawLogFileName), 0, 44),
            "\"Local Time\",\"Airmass\",\"X1\",\"Y1\",\"X2\",\"Y2\"\r\n");
  // Two complete readings of three, and the exposure the stop cut short.
  EXPECT_EQ(rig.camera().exposures, 7 + 1);  // the selection's full frame counts too
  EXPECT_EQ(rig.logRows().size(), 6u);
  EXPECT_EQ(s.historyCount, 3);
  EXPECT_GT(s.fwhmHistory[1], 0);
  EXPECT_GT(s.fwhmHistory[2], 0);
  for (const std::string& call : rig.server.calls) {
    if (call.rfind("expose", 0) == 0) {
      EXPECT_EQ(call, "expose " + std::to_string(0.01f));
    }
  }
}

TEST(MeasurementCycle, RejectedExposuresAreLoggedCountedAndRepeated) {
  Monitoring rig;
  rig.state.config.samplesPerReading = 20;
  // Exposures 3 and 4 of the run have a star too faint for a clean
  // detection; in 10 and 22 one is saturated, in 15 one is cut by an edge,
  // which no score makes clean.
  rig.camera().imageFor = [](int exposure) {
    using stars::StarStatus;
    ScriptedImage image;
    image.pollsUntilReady = 1;
    const int run = exposure - 1;  // the selection's full frame was exposure 1
    if (run == 3 || run == 4) image.centroids = {{10, 10, 25}, {70, 12, 9.5}};
    if (run == 10 || run == 22) image.centroids = {{10, 10, 400, stars::StarStatus::saturated}, {70, 12, 25}};
    if (run == 15) image.centroids = {{10, 10, 25}, {70, 12, 40, stars::StarStatus::nearEdge}};
    return image;
  };
  std::vector<int> shownBad;
  rig.ui.onUpdateDisplay = [&] {
    shownBad.push_back(rig.state.badSampleCount);
    if (shownBad.size() == 2) rig.stopAtNextDispatch();
  };

  rig.cycle.CommandStartAbort_Click();

  ASSERT_EQ(shownBad.size(), 2u);
  EXPECT_EQ(shownBad[1], 5);  // shown with the completed reading
  EXPECT_EQ(rig.logRows().size(), 25u);
  EXPECT_EQ(rig.state.historyCount, 2);
  const double share = 100.0 * shownBad[1] / (shownBad[1] + rig.state.config.samplesPerReading);
  EXPECT_DOUBLE_EQ(TruncateDecimals(share, 1), 20);
  EXPECT_EQ(rig.state.badSampleCount, 0);  // reset for the reading the stop cut short
}

TEST(MeasurementCycle, ARejectedFirstExposureStepsTheSampleIndexBackToZero) {
  Monitoring rig;
  rig.state.config.samplesPerReading = 2;
  ScriptedImage rejected;
  rejected.centroids = {{5, 5, 3}, {60, 5, 30}};
  ScriptedImage accepted1;
  accepted1.centroids = {{11, 12, 30}, {71, 13, 30}};
  ScriptedImage accepted2;
  accepted2.centroids = {{21, 22, 30}, {81, 23, 30}};
  rig.camera().images = {rejected, accepted1, accepted2};
  rig.stopAfterReadings(1);

  rig.cycle.CommandStartAbort_Click();

  // The first accepted exposure filled sample 1, not sample 2.
  EXPECT_FLOAT_EQ(rig.state.sampleX[1][1], 11);
  EXPECT_FLOAT_EQ(rig.state.sampleX[1][2], 21);
  EXPECT_EQ(rig.state.historyCount, 2);
}

TEST(MeasurementCycle, HeaderValuesSetTheAirmassOrEndTheRun) {
  struct Case {
    const char* name;
    std::map<std::string, camera::FitsValue> changes;
    std::vector<std::string> removed;
    double airmass;       // of the logged row, when the run goes on
    const char* message;  // when the run ends
  };
  const Case cases[] = {
      {"altitude 90", {{"OBJCTALT", 90.0}}, {}, 1, nullptr},
      {"no altitude", {}, {"OBJCTALT"}, 1, nullptr},
      {"altitude 0 counts as missing", {{"OBJCTALT", 0.0}}, {}, 1, nullptr},
      {"altitude as empty text", {{"OBJCTALT", std::string()}}, {}, 1, nullptr},
      {"altitude 30", {{"OBJCTALT", 30.0}}, {}, CalcAirmass(30), nullptr},
      {"altitude 30 as text", {{"OBJCTALT", std::string(" 30 ")}}, {}, CalcAirmass(30), nullptr},
      {"no focal length", {}, {"FOCALLEN"}, 0, kFocalMessage},
      {"focal length 0", {{"FOCALLEN", 0.0}}, {}, 0, kFocalMessage},
      {"focal length that is no number", {{"FOCALLEN", std::string("long")}}, {}, 0, kFocalMessage},
      {"no pixel width", {}, {"XPIXSZ"}, 0, kPixelMessage},
      {"no pixel height", {}, {"YPIXSZ"}, 0, kPixelMessage},
      {"pixel height empty text", {{"YPIXSZ", std::string()}}, {}, 0, kPixelMessage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Monitoring rig;
    rig.state.config.samplesPerReading = 2;
    ScriptedImage image;  // ready at once; the stop comes in the next exposure's wait
    for (const auto& [key, value] : c.changes) image.header[key] = value;
    for (const std::string& key : c.removed) image.header.erase(key);
    rig.camera().images = {image};
    rig.stopInExposure(2);

    rig.cycle.CommandStartAbort_Click();

    EXPECT_FALSE(rig.cycle.logOpen());
    EXPECT_EQ(rig.ui.buttons, ButtonStates{});
    if (c.message) {
      EXPECT_EQ(rig.ui.messages, std::vector<std::string>{c.message});
      EXPECT_TRUE(rig.logRows().empty());
      EXPECT_EQ(rig.state.historyCount, 1);
    } else {
      EXPECT_TRUE(rig.ui.messages.empty());
      ASSERT_GE(rig.logRows().size(), 1u);
      EXPECT_NEAR(std::stod(fields(rig.logRows()[0])[1]), c.airmass, 1e-12);
    }
  }
  EXPECT_NEAR(CalcAirmass(30), 1.9999999959, 1e-10);
}

// Numbers no instrument has are a broken header: the run ends with one
// message naming the keyword and the value, and nothing is logged.
TEST(MeasurementCycle, ImplausibleHeaderValuesEndTheRunNamingThem) {
  const std::map<std::string, camera::FitsValue> cases[] = {
      {{"FOCALLEN", 1e300}}, {{"FOCALLEN", -2000.0}}, {{"XPIXSZ", 1e-300}}, {{"YPIXSZ", std::string("5e9")}},
      {{"OBJCTALT", 1e200}},
  };
  for (const auto& change : cases) {
    const auto& [key, value] = *change.begin();
    SCOPED_TRACE(key);
    Monitoring rig;
    rig.state.config.samplesPerReading = 2;
    ScriptedImage image;
    image.header[key] = value;
    rig.camera().images = {image};
    rig.stopInExposure(2);

    rig.cycle.CommandStartAbort_Click();

    ASSERT_EQ(rig.ui.messages.size(), 1u);
    const std::string& message = rig.ui.messages.front();
    EXPECT_NE(message.find(key + " = "), std::string::npos) << message;
    EXPECT_TRUE(rig.logRows().empty());
    EXPECT_EQ(rig.state.historyCount, 1);
  }
}

TEST(MeasurementCycle, PixelSizeIsTheMeanOfWidthAndHeight) {
  // Two runs over the same star positions: one with 9 x 11 um pixels, one
  // with 10 x 10; the readings must agree, and differ from 9 x 9.
  auto seeingWith = [](double width, double height) {
    Monitoring rig;
    rig.state.config.samplesPerReading = 5;
    rig.stopAfterReadings(1);
    rig.camera().imageFor = [width, height](int) {
      ScriptedImage image;
      image.header["XPIXSZ"] = width;
      image.header["YPIXSZ"] = height;
      image.pollsUntilReady = 1;
      return image;
    };
    rig.cycle.CommandStartAbort_Click();
    return rig.state.fwhmHistory[1];
  };
  const float mixed = seeingWith(9, 11);
  EXPECT_GT(mixed, 0);
  EXPECT_FLOAT_EQ(mixed, seeingWith(10, 10));
  EXPECT_NE(mixed, seeingWith(9, 9));
}

TEST(MeasurementCycle, SearchPositionsAreRoundedHalfToEven) {
  Monitoring rig;
  rig.state.config.samplesPerReading = 1;
  rig.state.starX[1] = 12.5f;
  rig.state.starY[1] = 13.5f;
  rig.state.starX[2] = 70.5f;
  rig.state.starY[2] = 14.49f;
  rig.camera().images = {ScriptedImage{}};
  rig.stopInExposure(2);
  rig.server.calls.clear();

  rig.cycle.CommandStartAbort_Click();

  testing::CallLog searches;
  for (const std::string& call : rig.server.calls) {
    if (call.rfind("centroid", 0) == 0) searches.push_back(call);
  }
  EXPECT_EQ(searches, (testing::CallLog{"centroid 12 14 value", "centroid 70 14 value"}));
}

TEST(MeasurementCycle, ReadoutsShowWholePixelsAndTheTruncatedDistance) {
  Monitoring rig;
  rig.state.config.samplesPerReading = 2;
  rig.state.starX = {0, 50, 110};
  rig.state.starY = {0, 45, 46};
  ScriptedImage image;
  image.centroids = {{53.7, 48.2, 30}, {-0.5, 46, 30}};
  rig.camera().images = {image};
  rig.stopInExposure(2);

  rig.cycle.CommandStartAbort_Click();

  EXPECT_EQ(rig.ui.coords[1], "53,48");
  EXPECT_EQ(rig.ui.coords[2], "-1,46");
  const double dx = 53.7f - 50.0f;  // single-precision differences, as the positions are held
  const double dy = 48.2f - 45.0f;
  const double d1 = std::sqrt(dx * dx + dy * dy);
  EXPECT_DOUBLE_EQ(rig.ui.moved[1], std::floor(d1 * 10) / 10);
  EXPECT_DOUBLE_EQ(rig.ui.moved[2], 110.5);
}

TEST(MeasurementCycle, ALinkLostRightAfterAReadingEndsTheRunBeforeShowingIt) {
  Monitoring rig;
  rig.state.config.samplesPerReading = 4;
  // Start-up read the link once; the first reading reads it once more.
  rig.camera().linkReadsTrue = rig.camera().linkReads + 1;
  rig.camera().imageFor = [](int) { return ScriptedImage{}; };
  const int updatesBefore = rig.ui.updateCount;

  rig.cycle.CommandStartAbort_Click();

  EXPECT_EQ(rig.ui.messages, std::vector<std::string>{"Camera disconnected."});
  EXPECT_EQ(rig.state.historyCount, 2);  // the reading entered the history ...
  EXPECT_GT(rig.state.fwhmHistory[1], 0);
  EXPECT_EQ(rig.ui.updateCount - updatesBefore, 1);  // ... but was never shown
  EXPECT_FALSE(rig.cycle.logOpen());
  EXPECT_EQ(rig.ui.buttons, ButtonStates{});
  EXPECT_EQ(rig.logRows().size(), 4u);
}

// A run that ends before its first exposure leaves the previous run's raw
// log as it was: no new file, nothing moved aside.
TEST(MeasurementCycle, ARunEndingBeforeItsFirstExposureLeavesThePreviousRawLog) {
  const std::string previous =
      "\"Local Time\",\"Airmass\",\"X1\",\"Y1\",\"X2\",\"Y2\"\r\n#2026-12-06 01:00:00#,1,1,2,3,4\r\n";
  const struct {
    const char* name;
    std::function<void(Monitoring&)> arrange;
    std::vector<std::string> messages;
  } cases[] = {
      {"link already lost",
       [](Monitoring& rig) { rig.camera().linkReadsTrue = rig.camera().linkReads; },
       {"Camera disconnected."}},
      {"exposure fails",
       [](Monitoring& rig) { rig.server.faults.failAfter["expose"] = 0; },
       {"Scripted failure of expose"}},
      {"stopped in the first image wait",
       [](Monitoring& rig) {
         ScriptedImage slow;
         slow.pollsUntilReady = 5;
         rig.camera().images = {slow};
         rig.ui.onDispatch = [&rig] { rig.cycle.CommandStartAbort_Click(); };
       },
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Monitoring rig;
    rig.temp.write(kRawLogFileName, previous);
    c.arrange(rig);
    rig.cycle.CommandStartAbort_Click();
    EXPECT_EQ(rig.ui.messages, c.messages);
    EXPECT_EQ(rig.temp.read(kRawLogFileName), previous);
    EXPECT_FALSE(std::filesystem::exists(rig.temp.file("RawStarMeasurements-20261206-010000.csv")));
  }
}

TEST(MeasurementCycle, ARunAfterAFailedOneOverwritesTheLog) {
  Monitoring rig;
  rig.state.config.samplesPerReading = 3;
  ScriptedImage good;
  ScriptedImage noFocalLength;
  noFocalLength.header.erase("FOCALLEN");
  rig.camera().images = {good, good, noFocalLength};
  rig.cycle.CommandStartAbort_Click();
  ASSERT_EQ(rig.ui.messages, std::vector<std::string>{kFocalMessage});
  ASSERT_EQ(rig.logRows().size(), 2u);

  rig.stopAfterReadings(1);
  rig.cycle.CommandStartAbort_Click();

  EXPECT_EQ(rig.ui.messages.size(), 1u);
  const std::string log = rig.temp.read(kRawLogFileName);
  EXPECT_EQ(log.find("\"Local Time\""), 0u);
  EXPECT_EQ(log.find("\"Local Time\"", 1), std::string::npos);
  EXPECT_EQ(rig.logRows().size(), 3u);
  EXPECT_EQ(rig.state.historyCount, 2);
}

TEST(MeasurementCycle, BackendAndLogErrorsEndTheRunAndTheProgramGoesOn) {
  struct Case {
    const char* name;
    const char* failingCall;
    int succeedFirst;
    bool unwritableLog;
  };
  const Case cases[] = {
      {"exposure fails", "expose", 2, false},      {"centroid fails", "centroid", 3, false},
      {"header read fails", "fits", 5, false},     {"link read fails", "linkEnabled", 0, false},
      {"log cannot be created", nullptr, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Monitoring rig;
    if (c.failingCall) rig.server.faults.failAfter[c.failingCall] = c.succeedFirst;
    MeasurementCycle cycle(rig.state, rig.ui,
                           c.unwritableLog ? rig.temp.folder() + "missing/" : rig.temp.folder());

    cycle.CommandStartAbort_Click();

    ASSERT_EQ(rig.ui.messages.size(), 1u);
    if (c.failingCall) {
      EXPECT_NE(rig.ui.messages[0].find("Scripted failure"), std::string::npos);
    }
    EXPECT_FALSE(cycle.logOpen());
    EXPECT_FALSE(cycle.running());
    EXPECT_EQ(rig.ui.buttons, ButtonStates{});
    EXPECT_EQ(rig.state.stopRequested, kTrue);

    // The next run works normally.
    rig.server.faults.failAfter.clear();
    rig.stopAfterReadings(1);
    rig.cycle.CommandStartAbort_Click();
    EXPECT_EQ(rig.ui.messages.size(), 1u);
    EXPECT_EQ(rig.state.historyCount, 2);
  }
}

TEST(MeasurementCycle, AQuickDoubleClickNeverStartsANestedRun) {
  Monitoring rig;
  ScriptedImage slow;
  slow.pollsUntilReady = 10;
  rig.camera().images = {slow};
  int exposuresAtStop = 0;
  rig.ui.onDispatch = [&] {
    rig.ui.onDispatch = nullptr;
    exposuresAtStop = rig.camera().exposures;
    rig.cycle.CommandStartAbort_Click();  // stop
    rig.cycle.CommandStartAbort_Click();  // second click of the double click, same dispatch
    EXPECT_TRUE(rig.cycle.logOpen());
  };

  rig.cycle.CommandStartAbort_Click();

  EXPECT_EQ(rig.camera().exposures, exposuresAtStop);
  EXPECT_TRUE(rig.ui.messages.empty());
  EXPECT_FALSE(rig.cycle.logOpen());
  EXPECT_EQ(rig.state.stopRequested, kTrue);
  EXPECT_EQ(rig.ui.buttons, ButtonStates{});
  // Once the run has returned, a click starts a new one.
  rig.stopAfterReadings(1);
  rig.cycle.CommandStartAbort_Click();
  EXPECT_EQ(rig.state.historyCount, 2);
}

TEST(MeasurementCycle, ClosingTheWindowEndsTheRunAndClosesTheLog) {
  Monitoring rig;
  ScriptedImage slow;
  slow.pollsUntilReady = 10;
  rig.camera().images = {ScriptedImage{}, slow};
  const int second = rig.camera().exposures + 2;
  rig.ui.onDispatch = [&] { rig.ui.closing = rig.camera().exposures >= second; };
  const int dispatchesBefore = rig.ui.dispatches;

  rig.cycle.CommandStartAbort_Click();

  EXPECT_FALSE(rig.cycle.logOpen());
  EXPECT_FALSE(rig.cycle.running());
  EXPECT_EQ(rig.ui.dispatches - dispatchesBefore, 2);  // one per wait: the second ended at once
  EXPECT_EQ(rig.logRows().size(), 1u);
}

TEST(MeasurementCycle, UnusableSettingsNeverReachTheTables) {
  for (const std::int16_t samples : {std::int16_t{0}, std::int16_t{-3}, std::int16_t{201}}) {
    SCOPED_TRACE(samples);
    Monitoring rig;
    rig.state.config.samplesPerReading = samples;
    const int exposures = rig.camera().exposures;
    rig.cycle.CommandStartAbort_Click();
    EXPECT_EQ(rig.ui.messages.size(), 1u);
    EXPECT_EQ(rig.camera().exposures, exposures);
    EXPECT_FALSE(std::filesystem::exists(rig.temp.file(kRawLogFileName)));
    EXPECT_EQ(rig.ui.buttons, ButtonStates{});
  }
  // The largest reading fits the tables.
  Monitoring rig;
  rig.state.config.samplesPerReading = 200;
  rig.stopAfterReadings(1);
  rig.cycle.CommandStartAbort_Click();
  EXPECT_TRUE(rig.ui.messages.empty());
  EXPECT_EQ(rig.state.historyCount, 2);
}

TEST(MeasurementCycle, TheRejectedCountStopsAtTheLargestSixteenBitValue) {
  Monitoring rig;
  rig.state.config.samplesPerReading = 2;
  constexpr int kRejected = 32767 + 40;
  rig.camera().imageFor = [](int exposure) {
    ScriptedImage image;
    if (exposure - 1 <= kRejected) image.centroids = {{10, 10, 2}, {70, 10, 2}};
    return image;
  };
  int shownBad = -1;
  int updates = 0;
  rig.ui.onUpdateDisplay = [&] {
    if (++updates == 2) {
      shownBad = rig.state.badSampleCount;
      rig.cycle.CommandStartAbort_Click();  // stop before the next reading starts
    }
  };

  rig.cycle.CommandStartAbort_Click();

  EXPECT_EQ(shownBad, 32767);
  EXPECT_EQ(rig.logRows().size(), static_cast<std::size_t>(kRejected + 2));
}

TEST(MeasurementCycle, WithAnInstantCameraAStopOrACloseEndsTheRunWithinOneExposure) {
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "window closed" : "stop click");
    Monitoring rig;
    rig.camera().imageFor = [](int) { return ScriptedImage{}; };  // every image ready at the first look
    const int before = rig.camera().exposures;
    int exposuresAtClick = 0;
    rig.ui.onDispatch = [&] {
      if (rig.camera().exposures - before < 5) return;
      rig.ui.onDispatch = nullptr;
      exposuresAtClick = rig.camera().exposures;
      if (close) {
        rig.ui.closing = true;
      } else {
        rig.cycle.CommandStartAbort_Click();
      }
    };

    rig.cycle.CommandStartAbort_Click();

    EXPECT_EQ(rig.camera().exposures, exposuresAtClick);
    EXPECT_EQ(rig.logRows().size(), 4u);  // the exposure in whose wait the click came is discarded
    EXPECT_FALSE(rig.cycle.logOpen());
    EXPECT_EQ(rig.state.mode, ProgramMode::idle);
    EXPECT_FALSE(rig.ui.dispatchLimitReached);
  }
}

TEST(MeasurementCycle, SelectOrSetupDispatchedWithTheStopStartNothingInsideTheRun) {
  Monitoring rig;
  std::vector<ButtonStates> whileStopping;
  rig.ui.onDispatch = [&] {
    rig.ui.onDispatch = nullptr;
    rig.cycle.CommandStartAbort_Click();  // stop
    rig.selection.CommandSelect_Click();  // queued in the same event pass
    rig.cycle.CommandStartAbort_Click();  // and a double click
    whileStopping.push_back(rig.ui.buttons);
  };
  rig.server.calls.clear();

  rig.cycle.CommandStartAbort_Click();

  EXPECT_EQ(std::count(rig.server.calls.begin(), rig.server.calls.end(), "SetFullFrame"), 0);
  EXPECT_EQ(rig.state.starsSelected, kTrue);
  ASSERT_EQ(whileStopping.size(), 1u);
  EXPECT_EQ(whileStopping[0], (ButtonStates{false, "Start Monitoring", false, false}));
  EXPECT_EQ(rig.ui.buttons, ButtonStates{});
  EXPECT_EQ(rig.state.mode, ProgramMode::idle);
  // Once the run has returned, the selection works again.
  rig.selectStars({400.3, 300.6, 25}, {460.2, 302.1, 25});
  EXPECT_EQ(std::count(rig.server.calls.begin(), rig.server.calls.end(), "SetFullFrame"), 1);
}

TEST(MeasurementCycle, AnyExceptionEndsTheRunWithItsTextAndTheLogClosed) {
  Monitoring rig;
  rig.server.faults.logicError = true;
  rig.server.faults.failAfter["centroid"] = 3;

  rig.cycle.CommandStartAbort_Click();

  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_NE(rig.ui.messages[0].find("Scripted bug in centroid"), std::string::npos);
  EXPECT_FALSE(rig.cycle.logOpen());
  EXPECT_EQ(rig.logRows().size(), 1u);
  EXPECT_EQ(rig.ui.buttons, ButtonStates{});
  EXPECT_EQ(rig.state.stopRequested, kTrue);
}

TEST(MeasurementCycle, AReadingThatCannotBeReducedIsSkippedAndTheRunGoesOn) {
  Monitoring rig;
  rig.state.config.samplesPerReading = 2;
  const auto starX = rig.state.starX;
  // The same star found twice (after a cloud, say): the means coincide.
  ScriptedImage twice;
  twice.centroids = {{30, 40, 25}, {30, 40, 25}};
  rig.camera().images = {twice, twice};
  rig.stopAfterReadings(3);

  rig.cycle.CommandStartAbort_Click();

  ASSERT_EQ(rig.ui.skipped.size(), 3u);
  EXPECT_EQ(rig.ui.skipped[0].rfind("Reading skipped: ", 0), 0u);
  EXPECT_EQ(rig.ui.skipped[1], "");  // cleared by the next good reading
  EXPECT_EQ(rig.ui.skipped[2], "");
  EXPECT_TRUE(rig.ui.messages.empty());
  EXPECT_EQ(rig.state.historyCount, 3);  // two readings, the skipped one left out
  EXPECT_NE(rig.state.starX[1], rig.state.starX[2]);
  EXPECT_NEAR(rig.state.starX[1], starX[1], 1);  // the skipped reading did not move the stars
  EXPECT_EQ(rig.logRows().size(), 6u);
}

TEST(MeasurementCycle, WhileExposuresAreRejectedTheirShareIsShownEachTime) {
  Monitoring rig;
  rig.state.config.samplesPerReading = 20;
  const int first = rig.camera().exposures + 1;
  rig.camera().imageFor = [first](int exposure) {
    ScriptedImage image;
    image.pollsUntilReady = 1;
    if (exposure < first + 100) image.centroids = {{10, 10, 3}, {70, 10, 3}};  // clouds
    return image;
  };
  rig.stopAfterReadings(1);

  rig.cycle.CommandStartAbort_Click();

  ASSERT_EQ(rig.ui.rejectedShown.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(rig.ui.rejectedShown[i], i + 1);
  // Each exposure took one 100 ms poll: the share was refreshed every 100 ms.
  EXPECT_EQ(rig.state.historyCount, 2);
}

// ---- the readings log -------------------------------------------------------

std::vector<std::string> readingsRows(const FlowRig& rig) {
  std::vector<std::string> lines;
  std::stringstream in(rig.temp.read(kReadingsLogFileName));
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(0, line.find('\r')));
  EXPECT_FALSE(lines.empty());
  if (!lines.empty()) {
    EXPECT_EQ(lines.front(), kReadingsLogHeader);
  }
  return {lines.begin() + (lines.empty() ? 0 : 1), lines.end()};
}

// One row per reduced reading: the seeing the history holds, the mean
// airmass of the accepted exposures, N, the rejected count and the error;
// the next run appends below.
TEST(MeasurementCycle, EachReadingIsAppendedToTheReadingsLog) {
  Monitoring rig;
  rig.state.config.samplesPerReading = 4;
  int exposure = 0;
  rig.camera().imageFor = [&exposure](int) {
    ScriptedImage image;
    image.pollsUntilReady = 1;  // a wait, where the stop click comes in
    ++exposure;
    image.header["OBJCTALT"] = exposure % 4 == 3 ? 30.0 : 90.0;
    if (exposure == 2) image.centroids = {{10, 10, 2}, {70, 10, 2}};  // rejected: not counted in the airmass
    return image;
  };
  rig.stopAfterReadings(2);
  rig.cycle.CommandStartAbort_Click();

  std::vector<std::string> rows = readingsRows(rig);
  ASSERT_EQ(rows.size(), 2u);
  const std::vector<std::string> first = fields(rows[0]);
  ASSERT_EQ(std::count(rows[0].begin(), rows[0].end(), ','), 16) << rows[0];
  EXPECT_EQ(first[0].size(), std::string("2026-12-07T23:14:05+01:00").size()) << first[0];
  EXPECT_NEAR(std::stod(first[1]), (3 + CalcAirmass(30)) / 4, 1e-12);  // exposures 1, 3, 4, 5
  EXPECT_EQ(first[2], singleText(rig.state.fwhmHistory[1]));
  EXPECT_NEAR(std::stod(first[3]), r0Centimetres(rig.state.config.wavelength, rig.state.fwhmHistory[1]),
              1e-9);
  EXPECT_EQ(first[6], "4");
  EXPECT_EQ(first[7], "1");
  EXPECT_NEAR(std::stod(first[8]), 0.6 * rig.state.fwhmHistory[1] / std::sqrt(3.0), 1e-6);
  EXPECT_EQ(fields(rows[1])[7], "0");
  // The best estimate of the latest reading ends its row.
  ASSERT_GT(rig.state.bestSeeing, 0);
  EXPECT_EQ(fields(rows[1])[9], doubleText(rig.state.bestSeeing));
  EXPECT_EQ(fields(rows[1])[10], doubleText(rig.state.bestSeeingError));
  EXPECT_EQ(fields(rows[1])[11], singleText(rig.state.config.measurementExposure));
  EXPECT_EQ(fields(rows[1])[12], singleText(rig.state.config.wavelength));  // as config.ini gives it

  rig.shown = 0;
  rig.stopAfterReadings(1);
  rig.state.coherence = Coherence{12.5, 1.25, 3.2, 0.4};  // a wind left from an earlier run
  rig.cycle.CommandStartAbort_Click();
  rows = readingsRows(rig);
  ASSERT_EQ(rows.size(), 3u);
  // Exposures of t alone tell no wind: the columns stay empty, and the state says why.
  EXPECT_TRUE(rows[2].ends_with(",,,,")) << rows[2];
  EXPECT_FALSE(rig.state.coherence);
  EXPECT_NE(rig.state.coherenceUnknown.find("exposure-time correction"), std::string::npos);
  EXPECT_EQ(fields(rows[2])[2], singleText(rig.state.fwhmHistory[3]));
  EXPECT_TRUE(rig.ui.messages.empty());
}

#ifdef __linux__
// A readings log in the way never stops the night: the readings go to a
// dated log beside it (said as for a foreign file), or, when nothing can be
// written (a full disk: here a file at the size limit), the raw log goes on
// and each reading says why without a modal box.
TEST(MeasurementCycle, AReadingsLogInTheWayLeavesTheRunGoing) {
  const std::string full = std::string(kReadingsLogHeader) + "\r\n" + std::string(4096, '1') + "\r\n";
  const struct {
    std::function<void(FlowRig&)> arrange;
    std::size_t messages;
    std::size_t skipped;
  } cases[] = {
      {[](FlowRig& rig) { std::filesystem::create_directory(rig.temp.file(kReadingsLogFileName)); }, 1, 0},
      {[&full](FlowRig& rig) { rig.temp.write(kReadingsLogFileName, full); }, 0, 2},
  };
  for (const auto& c : cases) {
    Monitoring rig;
    rig.state.config.samplesPerReading = 2;
    c.arrange(rig);
    rig.stopAfterReadings(2);
    {
      const testing::FileSizeLimit limit(full.size());
      rig.cycle.CommandStartAbort_Click();
    }
    EXPECT_EQ(rig.logRows().size(), 4u) << "the raw log went on";
    std::erase(rig.ui.skipped, "");
    EXPECT_EQ(rig.ui.skipped.size(), c.skipped);
    EXPECT_EQ(rig.ui.messages.size(), c.messages);
  }
}

// A disk that fills up during a run (here: every file at one byte) never ends
// it: the readings go on, each says why once rather than once a row, no
// partial row is left, and once there is room again both logs go on by
// themselves.
TEST(MeasurementCycle, AFullDiskLeavesTheRunGoingAndTheLogsResume) {
  Monitoring rig;
  rig.state.config.samplesPerReading = 3;
  std::optional<testing::FileSizeLimit> full;
  int shown = 0;
  rig.ui.onUpdateDisplay = [&] {
    ++shown;
    if (shown == 1) full.emplace(1);  // readings 1 and 2 under a full disk
    if (shown == 3) full.reset();
    if (shown == 4) rig.stopAtNextDispatch();
  };
  rig.cycle.CommandStartAbort_Click();
  EXPECT_TRUE(rig.ui.messages.empty());
  std::erase(rig.ui.skipped, "");
  ASSERT_EQ(rig.ui.skipped.size(), 2u);
  EXPECT_NE(rig.ui.skipped[0].find("the measurement goes on"), std::string::npos) << rig.ui.skipped[0];
  EXPECT_EQ(rig.temp.read(kRawLogFileName).rfind("\"Local Time\"", 0), 0u);
  EXPECT_EQ(rig.logRows().size(), 3u) << "only the third reading's rows, each whole";
  EXPECT_EQ(readingsRows(rig).size(), 1u);
}
#endif

// The previous run's raw log is kept under the time of its first row.
TEST(MeasurementCycle, ANewRunKeepsThePreviousRawLog) {
  Monitoring rig;
  rig.state.config.samplesPerReading = 2;
  const std::string previous =
      "\"Local Time\",\"Airmass\",\"X1\",\"Y1\",\"X2\",\"Y2\"\r\n#2026-12-06 03:50:35#,1,1,2,3,4\r\n";
  rig.temp.write(kRawLogFileName, previous);
  rig.stopAfterReadings(1);
  rig.cycle.CommandStartAbort_Click();
  EXPECT_EQ(rig.temp.read("RawStarMeasurements-20261206-035035.csv"), previous);
  EXPECT_EQ(rig.logRows().size(), 2u);
}

// Present but no number: airmass 1 as if missing, and the run says so once,
// as a skipped reading is (no modal box, which would halt the exposures).
TEST(MeasurementCycle, AnAltitudeThatIsNoNumberIsReportedOncePerRun) {
  Monitoring rig;
  rig.state.config.samplesPerReading = 3;
  rig.camera().imageFor = [](int) {
    ScriptedImage image;
    image.pollsUntilReady = 1;
    image.header["OBJCTALT"] = std::string("high");
    return image;
  };
  rig.stopAfterReadings(2);
  rig.cycle.CommandStartAbort_Click();
  EXPECT_TRUE(rig.ui.messages.empty());
  std::erase(rig.ui.skipped, "");
  ASSERT_EQ(rig.ui.skipped.size(), 1u);
  EXPECT_NE(rig.ui.skipped[0].find("OBJCTALT"), std::string::npos) << rig.ui.skipped[0];
  EXPECT_NE(rig.ui.skipped[0].find("check MaximDL setup"), std::string::npos) << rig.ui.skipped[0];
  EXPECT_EQ(rig.logRows().size(), 6u);
  for (const std::string& row : rig.logRows()) EXPECT_EQ(fields(row)[1], "1");
}

TEST(MeasurementCycle, HeaderMessagesNameTheApplication) {
  for (const char* name : {"MaximDL", "the simulator", "the INDI driver \"CCD\" on server localhost:7624"}) {
    Monitoring rig;
    rig.server.application->applicationName = name;
    ScriptedImage noFocalLength;
    noFocalLength.header.erase("FOCALLEN");
    ScriptedImage noPixelHeight;
    noPixelHeight.header.erase("YPIXSZ");
    rig.camera().images = {noFocalLength, noPixelHeight};
    rig.cycle.CommandStartAbort_Click();
    rig.cycle.CommandStartAbort_Click();
    const std::vector<std::string> expected = {
        "Unable to read focal length from exposure - please check " + std::string(name) + " setup",
        "Unable to read pixel size from exposure - please check " + std::string(name) + " setup"};
    EXPECT_EQ(rig.ui.messages, expected);
  }
}

// With the correction on, an accepted t exposure is followed by 2t ones until one is accepted; only
// the t exposures reach the raw log and the rejected count, the 2t ones go to their own file.
TEST(MeasurementCycle, TheExposureCorrectionInterleavesTwiceTheExposureLoggedApart) {
  Monitoring rig;
  rig.state.config.samplesPerReading = 4;  // the extrapolation's error needs 4 of each
  rig.state.exposureCorrection = true;
  const int first = rig.camera().exposures + 1;
  // Run exposures: t, 2t, t rejected, t, 2t rejected, 2t, t, 2t, t, 2t.
  rig.camera().imageFor = [first](int exposure) {
    const int run = exposure - first;
    const bool twice = run == 1 || run == 4 || run == 5 || run == 7 || run == 9;
    const double x = (twice ? 20 : 10) + 0.25 * run;  // 2t exposures at x >= 20
    ScriptedImage image;
    image.pollsUntilReady = 1;
    image.centroids = {{x, 10, run == 2 || run == 4 ? 5.0 : 25.0}, {x + 60 - 0.5 * run, 12 + 0.25 * run, 25}};
    return image;
  };
  rig.stopAfterReadings(1);
  rig.cycle.CommandStartAbort_Click();

  std::vector<std::string> exposures;
  std::copy_if(rig.server.calls.begin(), rig.server.calls.end(), std::back_inserter(exposures),
               [](const std::string& call) { return call.rfind("expose", 0) == 0; });
  ASSERT_GE(exposures.size(), 9u);  // the selection's full frame first
  EXPECT_EQ(
      std::vector<std::string>(exposures.begin() + 1, exposures.begin() + 9),
      std::vector<std::string>({"expose 0.010000", "expose 0.020000", "expose 0.010000", "expose 0.010000",
                                "expose 0.020000", "expose 0.020000", "expose 0.010000", "expose 0.020000"}));
  const std::vector<std::string> raw = rig.logRows();
  const std::vector<std::string> doubled = testing::rawLogRows(rig.temp.read(kDoubleExposureLogFileName));
  ASSERT_TRUE(raw.size() >= 4 && doubled.size() >= 4);
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_TRUE(std::stod(fields(raw[i])[2]) < 20 && std::stod(fields(doubled[i])[2]) >= 20) << i;
  const std::vector<std::string> reading = fields(readingsRows(rig).at(0));
  EXPECT_EQ(reading.at(7), "1");      // the rejected t exposure only
  EXPECT_EQ(reading.at(11), "0.01");  // the wind is gathered over readings first: the estimate as exposed
}

// The wind of the exposure cycle is gathered anew by every run: the last
// run's may be hours old, or of another mask.
TEST(MeasurementCycle, EachRunGathersItsOwnWind) {
  Monitoring rig;
  rig.state.config.samplesPerReading = 4;
  rig.state.exposureCorrection = true;
  rig.camera().imageFor = [](int exposure) {
    ScriptedImage image;
    image.pollsUntilReady = 1;
    const double jitter = std::sin(1.7 * exposure), other = std::cos(2.3 * exposure);
    image.centroids = {{400 + jitter, 300 + other, 25}, {460 - other, 302 + jitter, 25}};
    return image;
  };
  rig.stopAfterReadings(static_cast<int>(kLeastPooledReadings));
  rig.cycle.CommandStartAbort_Click();
  EXPECT_EQ(rig.state.coherenceUnknown.find("gathering"), std::string::npos) << rig.state.coherenceUnknown;
  rig.shown = 0;
  rig.stopAfterReadings(1);
  rig.cycle.CommandStartAbort_Click();
  EXPECT_EQ(rig.state.coherenceUnknown, "gathering the wind: 1 of 10 readings");
}

}  // namespace
}  // namespace nebulor
