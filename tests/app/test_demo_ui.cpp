#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <sstream>
#include <string>

#include "app/DemoUi.h"
#include "support/FakeMonitorUi.h"

namespace nebulor {
namespace {

// The key=value fields of one demo line.
std::map<std::string, std::string> fieldsOf(const std::string& line) {
  std::map<std::string, std::string> fields;
  std::istringstream in(line);
  for (std::string item; in >> item;) {
    const auto equals = item.find('=');
    fields[item.substr(0, equals)] = item.substr(equals + 1);
  }
  return fields;
}

struct DemoRig {
  DemoRig() {
    state.config = defaultConfig();
    state.historyCount = 1;
    state.stopRequested = kTrue;
  }

  // A reading as the reduction leaves it.
  void completeReading(float fwhm, double longDev, double transDev, std::int16_t bad) {
    state.fwhmHistory[state.historyCount] = fwhm;
    state.historyCount = static_cast<std::int16_t>(state.historyCount % kHistorySlots + 1);
    state.longStdDev = longDev;
    state.transStdDev = transDev;
    state.badSampleCount = bad;
  }

  MonitorState state;
  testing::FakeMonitorUi window{&state};
  std::ostringstream out;
  std::ostringstream err;
  int stops = 0;
  std::chrono::steady_clock::time_point now{};  // the demo's clock
  DemoUi ui{window, state, out, err, 2, {1.2, 3.5}, [this] { ++stops; }, [this] { return now; }};
};

TEST(DemoUi, PrintsEachShownReadingAndStopsAfterTheLast) {
  DemoRig rig;
  rig.ui.updateDisplay();  // start-up's refresh: no reading yet
  rig.state.stopRequested = kFalse;
  rig.ui.updateDisplay();  // the first pass of a run shows nothing new
  EXPECT_TRUE(rig.out.str().empty());
  rig.state.coherenceUnknown = "why";

  rig.completeReading(1.25f, 0.3, 0.25, 5);
  rig.ui.updateDisplay();
  rig.state.bestSeeing = 1.375;  // the second reading has a best estimate, the first none
  rig.state.bestSeeingError = 0.1875;
  rig.state.coherence = Coherence{12.5, 1.25, 3.2, 0.4};
  rig.completeReading(0.875f, 0.2, 0.125, 0);
  rig.ui.updateDisplay();
  EXPECT_EQ(rig.err.str(), "tau0 and wind unknown: why\n");

  EXPECT_EQ(rig.window.updateCount, 4);  // the window is refreshed every time
  EXPECT_EQ(rig.stops, 1);
  EXPECT_EQ(rig.ui.readingsPrinted(), 2);
  std::istringstream lines(rig.out.str());
  std::string first;
  std::string second;
  std::getline(lines, first);
  std::getline(lines, second);
  const auto f = fieldsOf(first);
  EXPECT_EQ(f.at("reading"), "1");
  EXPECT_DOUBLE_EQ(std::stod(f.at("seeing")), 1.25);
  EXPECT_NEAR(std::stod(f.at("r0")), 0.5 * 0.98 * 1000 / 1.25 / 4.74 / 10, 1e-3);
  EXPECT_DOUBLE_EQ(std::stod(f.at("long")), 0.3);
  EXPECT_DOUBLE_EQ(std::stod(f.at("trans")), 0.25);
  EXPECT_NEAR(std::stod(f.at("rejected")), 100.0 * 5 / 25, 0.05);
  EXPECT_DOUBLE_EQ(std::stod(f.at("true")), 1.2);
  EXPECT_EQ(first.rfind("reading=1 seeing=", 0), 0u);
  EXPECT_NE(first.find(" r0="), std::string::npos);
  EXPECT_EQ(first.find(','), std::string::npos);  // full stops only
  EXPECT_EQ(fieldsOf(second).at("reading"), "2");
  EXPECT_EQ(fieldsOf(second).at("rejected"), "0.0");
  // The best estimate and its error close the line, after the truth.
  EXPECT_NE(first.find(" true=1.2000 true_tau0=3.50 best=nan error=nan tau0=nan"), std::string::npos);
  EXPECT_EQ(second.substr(second.find(" best=")),
            " best=1.3750 error=0.1875 tau0=3.20 tau0_error=0.40 wind=12.50 wind_error=1.25");
}

TEST(DemoUi, MessagesGoToTheErrorStreamWithoutWaiting) {
  DemoRig rig;
  rig.ui.showMessage("Camera disconnected.");
  EXPECT_EQ(rig.err.str(), "Camera disconnected.\n");
  EXPECT_TRUE(rig.window.messages.empty());
  EXPECT_TRUE(rig.ui.messageShown());
}

TEST(DemoUi, TheRingWrapStillCountsAsAReading) {
  DemoRig rig;
  rig.state.historyCount = kHistorySlots;
  rig.ui.updateDisplay();
  rig.state.stopRequested = kFalse;
  rig.completeReading(2.0f, 0.5, 0.4, 0);
  ASSERT_EQ(rig.state.historyCount, 1);
  rig.ui.updateDisplay();
  EXPECT_EQ(rig.ui.readingsPrinted(), 1);
  EXPECT_DOUBLE_EQ(std::stod(fieldsOf(rig.out.str()).at("seeing")), 2.0);
}

TEST(DemoUi, GivesUpInOneLineWhenNoReadingCompletes) {
  {
    SCOPED_TRACE("rejected exposures in a row");
    DemoRig rig;
    rig.state.stopRequested = kFalse;
    for (int i = 1; i < kDemoRejectedLimit; ++i) rig.ui.showRejectedShare();
    rig.completeReading(1.0f, 0.2, 0.2, 5);
    rig.ui.updateDisplay();  // a completed reading starts the count afresh
    for (int i = 1; i < kDemoRejectedLimit; ++i) rig.ui.showRejectedShare();
    EXPECT_FALSE(rig.ui.windowClosing());
    rig.ui.showRejectedShare();
    EXPECT_TRUE(rig.ui.gaveUp());
    EXPECT_TRUE(rig.ui.windowClosing()) << "every wait ends";
    EXPECT_EQ(rig.window.rejectedShown.size(), 2u * kDemoRejectedLimit - 1);
  }
  {
    SCOPED_TRACE("wall time");
    DemoRig rig;
    rig.now += kDemoPatience - std::chrono::milliseconds(1);
    rig.ui.dispatchEvents();
    EXPECT_FALSE(rig.ui.gaveUp());
    rig.now += std::chrono::milliseconds(1);
    rig.ui.dispatchEvents();
    rig.ui.dispatchEvents();
    EXPECT_TRUE(rig.ui.windowClosing());
    const std::string err = rig.err.str();
    EXPECT_EQ(err.rfind("Demo gave up: ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << "one line, once";
  }
}

// Numbers too large for fixed decimals (no reduction gives them, but the
// line must never show raw memory) come out with an exponent.
TEST(DemoUi, NumbersOfAnySizeArePrintedReadably) {
  DemoRig rig;
  rig.completeReading(3e38f, 1e300, -1e300, 0);
  const std::string line = demoReadingLine(1, rig.state, {1e200, std::nullopt});
  const auto fields = fieldsOf(line);
  for (const auto& [name, expected] :
       std::map<std::string, double>{{"seeing", 3e38}, {"long", 1e300}, {"trans", -1e300}, {"true", 1e200}}) {
    EXPECT_NEAR(std::stod(fields.at(name)) / expected, 1.0, 1e-6) << line;
  }
  EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](unsigned char c) { return c >= 32 && c < 127; }))
      << line;
}

}  // namespace
}  // namespace nebulor
