#include <gtest/gtest.h>

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
  DemoUi ui{window, state, out, err, 2, 1.2, [this] { ++stops; }};
};

TEST(DemoUi, PrintsEachShownReadingAndStopsAfterTheLast) {
  DemoRig rig;
  rig.ui.updateDisplay();  // start-up's refresh: no reading yet
  rig.state.stopRequested = kFalse;
  rig.ui.updateDisplay();  // the first pass of a run shows nothing new
  EXPECT_TRUE(rig.out.str().empty());

  rig.completeReading(1.25f, 0.3, 0.25, 5);
  rig.ui.updateDisplay();
  rig.completeReading(0.875f, 0.2, 0.125, 0);
  rig.ui.updateDisplay();

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

}  // namespace
}  // namespace nebulor
