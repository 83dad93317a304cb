#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <utility>
#include <vector>

#include "display/ResultsDisplay.h"

namespace nebulor {
namespace {

// The state right after a complete start-up, with the default configuration.
MonitorState startedState() {
  MonitorState state;
  state.config = defaultConfig();
  state.historyCount = 1;
  state.sampleIndex = 1;
  state.stopRequested = kTrue;
  return state;
}

// Writes readings into the ring as the reduction does: slot historyCount,
// then the next slot, wrapping from 200 to 1.
void addReadings(MonitorState& state, const std::vector<float>& readings) {
  for (float reading : readings) {
    state.fwhmHistory[state.historyCount] = reading;
    state.historyCount = static_cast<std::int16_t>(state.historyCount % kHistorySlots + 1);
  }
}

std::vector<int> rowsOf(const ResultsModel& model) {
  std::vector<int> rows;
  for (const PlotTick& tick : model.ticks) rows.push_back(tick.row);
  return rows;
}

std::vector<int> lengthsOf(const ResultsModel& model) {
  std::vector<int> lengths;
  for (const PlotTick& tick : model.ticks) lengths.push_back(tick.length);
  return lengths;
}

TEST(ResultsDisplayScale, MaximumFollowsTheEntriesInSlotOrder) {
  struct Case {
    std::vector<float> readings;
    float expected;
  };
  const Case cases[] = {
      {{}, 1.0f},     {{0.4f, 1.0f, 0.9f}, 1.0f}, {{1.2f, 1.5f}, 1.5f}, {{1.5f, 1.2f}, 2.0f}, {{2.49f}, 2.5f},
      {{2.5f}, 3.0f}, {{3.1f, 0.2f}, 3.5f},
  };
  for (const Case& c : cases) {
    MonitorState state = startedState();
    addReadings(state, c.readings);
    EXPECT_EQ(buildResultsModel(state, ".").scaleMax, c.expected) << "first reading " << c.readings.size();
  }
}

TEST(ResultsDisplayScale, SlotZeroCountsFirst) {
  MonitorState state = startedState();
  state.fwhmHistory[0] = 1.5f;  // raises m to 2 before slot 1 is looked at
  state.fwhmHistory[1] = 1.2f;
  EXPECT_EQ(plotScaleMax(state.fwhmHistory), 2.0f);
}

TEST(ResultsDisplayPlot, TickRowsAndLengthsPerScale) {
  struct Case {
    float reading;  // the one entry, which sets m
    std::vector<int> rows;
    std::vector<int> lengths;
  };
  const Case cases[] = {
      {0.0f, {75, 40, 5}, {4, 2, 4}},                       // m = 1
      {1.7f, {75, 57, 40, 23, 5}, {4, 2, 4, 2, 4}},         // m = 2: 52.5 -> 52, 17.5 -> 18
      {2.1f, {75, 61, 47, 33, 19, 5}, {4, 2, 4, 2, 4, 2}},  // m = 2.5
  };
  for (const Case& c : cases) {
    MonitorState state = startedState();
    addReadings(state, {c.reading});
    const ResultsModel model = buildResultsModel(state, ".");
    EXPECT_EQ(rowsOf(model), c.rows) << c.reading;
    EXPECT_EQ(lengthsOf(model), c.lengths) << c.reading;
  }
}

TEST(ResultsDisplayPlot, RowsRoundHalvesToEven) {
  EXPECT_EQ(plotRow(1.0f, 1.5f), 28);
  EXPECT_EQ(plotRow(0.5f, 2.0f), 57);  // 52.5 -> 52
  EXPECT_EQ(plotRow(1.5f, 2.0f), 23);  // 17.5 -> 18
  EXPECT_EQ(plotRow(0.0f, 3.0f), kPlotBottomRow);
  EXPECT_EQ(plotRow(3.0f, 3.0f), kPlotTopRow);
}

TEST(ResultsDisplayPlot, FrameAndLabelsAfterStartup) {
  const ResultsModel model = buildResultsModel(startedState(), ".");
  const std::array<PlotLine, 3> frame = {PlotLine{{22, 75}, {223, 75}}, PlotLine{{22, 5}, {22, 75}},
                                         PlotLine{{223, 5}, {223, 75}}};
  EXPECT_EQ(model.frame, frame);

  const std::pair<std::string, PlotPoint> labels[] = {
      {" 1", {0, 0}}, {" 0", {0, 65}}, {" 1", {225, 0}}, {" 0", {225, 65}}};
  for (std::size_t i = 0; i < model.labels.size(); ++i) {
    EXPECT_EQ(model.labels[i].text, labels[i].first) << i;
    EXPECT_EQ(model.labels[i].topLeft, labels[i].second) << i;
  }
}

TEST(ResultsDisplayPlot, ScaleLabelsUseTheDecimalSeparator) {
  MonitorState state = startedState();
  addReadings(state, {1.2f});
  EXPECT_EQ(buildResultsModel(state, ".").labels[0].text, " 1.5");
  EXPECT_EQ(buildResultsModel(state, ",").labels[2].text, " 1,5");
}

TEST(ResultsDisplayPlot, YoungHistoryLiesOnTheBottomLine) {
  const ResultsModel model = buildResultsModel(startedState(), ".");
  EXPECT_EQ(model.curve[0], (PlotPoint{23, 75}));
  for (int i = 1; i <= kHistorySlots; ++i) EXPECT_EQ(model.curve[i], (PlotPoint{22 + i, 75})) << i;
}

// The curve must run from the oldest slot (historyCount) to the newest, at
// columns 23..222, whatever slot the ring starts at.
TEST(ResultsDisplayPlot, CurveFollowsTheRingFromItsOldestSlot) {
  for (const int readings : {200, 204, 399}) {
    MonitorState state = startedState();
    std::vector<float> values;
    for (int n = 0; n < readings; ++n) values.push_back(0.1f * static_cast<float>((n * 7) % 31));
    addReadings(state, values);
    const ResultsModel model = buildResultsModel(state, ".");
    const float m = model.scaleMax;

    // Reading number n (0-based) sits in slot n % 200 + 1; the curve shows the
    // last 200 readings in the order they were made.
    for (int i = 1; i <= kHistorySlots; ++i) {
      const int reading = readings - kHistorySlots + (i - 1);
      EXPECT_EQ(model.curve[i], (PlotPoint{22 + i, plotRow(values[reading], m)})) << readings << " " << i;
    }
    EXPECT_EQ(model.curve[0], (PlotPoint{23, model.curve[1].y})) << "zero-length first segment";
  }
}

TEST(ResultsDisplayPlot, HistoryCountFiveStartsAtSlotFive) {
  MonitorState state = startedState();
  for (int slot = 1; slot <= kHistorySlots; ++slot) state.fwhmHistory[slot] = slot == 5 ? 1.0f : 0.0f;
  state.fwhmHistory[4] = 1.5f;
  state.historyCount = 5;
  const ResultsModel model = buildResultsModel(state, ".");
  ASSERT_EQ(model.scaleMax, 2.0f);
  EXPECT_EQ(model.curve[1], (PlotPoint{23, 40}));     // slot 5: 1.0 of 2
  EXPECT_EQ(model.curve[200], (PlotPoint{222, 23}));  // slot 4: 1.5 of 2
  EXPECT_EQ(model.seeingFwhm, "1.5 arcsecs");
}

TEST(ResultsDisplayReadouts, BestEstimateIsTheSeeingTooltipInTheUsersFormat) {
  MonitorState state = startedState();
  EXPECT_EQ(buildResultsModel(state, ",").seeingTip, "");  // none yet
  state.bestSeeing = 1.375;
  state.bestSeeingError = 0.25;
  state.coherence = Coherence{12.56, 1.25, 3.219, 0.4};
  const std::string tip = buildResultsModel(state, ",").seeingTip;
  EXPECT_EQ(tip.rfind("Nebulor's best estimate: 1,37 \u00b1 0,25 arcsecs", 0), 0u) << tip;
  EXPECT_TRUE(tip.ends_with(")\ntau0 3,21 \u00b1 0,4 ms, wind 12,5 \u00b1 1,2 m/s")) << tip;
}

TEST(ResultsDisplayReadouts, SeeingAndR0FromTheLatestEntry) {
  struct Case {
    float latest;
    const char* fwhm;
    const char* r0;
  };
  const Case cases[] = {
      {2.0f, "2 arcsecs", "5.1 cm"},     {1.234f, "1.23 arcsecs", "8.3 cm"}, {0.8f, "0.8 arcsecs", "12.9 cm"},
      {1.15f, "1.14 arcsecs", "8.9 cm"},  // the single 1.15 lies just below 1.15
      {0.0f, "0 arcsecs", "0 cm"},       {-0.5f, "-0.5 arcsecs", "0 cm"},
  };
  for (const Case& c : cases) {
    MonitorState state = startedState();
    addReadings(state, {0.7f, c.latest});
    const ResultsModel model = buildResultsModel(state, ".");
    EXPECT_EQ(model.seeingFwhm, c.fwhm) << c.latest;
    EXPECT_EQ(model.seeingR0, c.r0) << c.latest;
  }
}

TEST(ResultsDisplayReadouts, LatestEntryIsSlot200WhenTheRingWrapped) {
  MonitorState state = startedState();
  state.fwhmHistory[200] = 2.0f;
  state.fwhmHistory[1] = 0.8f;
  state.historyCount = 1;
  EXPECT_EQ(buildResultsModel(state, ".").seeingFwhm, "2 arcsecs");
}

TEST(ResultsDisplayReadouts, DeviationsAreTruncatedToTwoDecimals) {
  MonitorState state = startedState();
  state.longStdDev = 0.4567;
  state.transStdDev = 12.999;
  const ResultsModel model = buildResultsModel(state, ",");
  EXPECT_EQ(model.longDev, "0,45");
  EXPECT_EQ(model.transDev, "12,99");
}

TEST(ResultsDisplayReadouts, RejectedShare) {
  struct Case {
    std::int16_t rejected;
    std::int16_t samples;
    const char* text;
  };
  const Case cases[] = {
      {0, 20, "0%"},
      {1, 20, "4.7%"},
      {20, 20, "50%"},
      {3, 50, "5.6%"},
      // Past 327 rejections the product leaves the 16-bit range:
      // 400 * 100 / 420 = 95.238..., 32767 * 100 / 32967 = 99.393...
      {400, 20, "95.2%"},
      {32767, 200, "99.3%"},
  };
  for (const Case& c : cases) {
    MonitorState state = startedState();
    state.badSampleCount = c.rejected;
    state.config.samplesPerReading = c.samples;
    EXPECT_EQ(buildResultsModel(state, ".").badReadings, c.text) << c.rejected << " of " << c.samples;
  }
}

TEST(ResultsDisplayReadouts, NoExposuresAtAllShowNoShare) {
  MonitorState state = startedState();
  state.config.samplesPerReading = 0;
  EXPECT_EQ(buildResultsModel(state, ".").badReadings, "0%");
}

TEST(ResultsDisplayReadouts, ReadoutsAfterStartup) {
  const ResultsModel model = buildResultsModel(startedState(), ".");
  EXPECT_EQ(model.seeingFwhm, "0 arcsecs");
  EXPECT_EQ(model.seeingR0, "0 cm");
  EXPECT_EQ(model.longDev, "0");
  EXPECT_EQ(model.transDev, "0");
  EXPECT_EQ(model.badReadings, "0%");
  EXPECT_FALSE(model.startAbortEnabled);
}

TEST(ResultsDisplayReadouts, StartAbortFollowsStarsSelected) {
  MonitorState state = startedState();
  state.starsSelected = kTrue;
  EXPECT_TRUE(buildResultsModel(state, ".").startAbortEnabled);
  state.starsSelected = kFalse;
  EXPECT_FALSE(buildResultsModel(state, ".").startAbortEnabled);
}

// The ticks as the step-0.5 loop draws them, straight from the description,
// as the set of pixels they cover.
std::set<std::pair<int, int>> tickPixelsByLoop(float m) {
  std::set<std::pair<int, int>> pixels;
  for (float v = 0; v <= m; v += 0.5f) {
    const int row = static_cast<int>(std::nearbyint(70 - static_cast<double>(v) * 70 / m)) + 5;
    const int length = v == std::floor(v) ? 4 : 2;
    for (int x = 22 - length; x <= 22; ++x) pixels.insert({x, row});
    for (int x = 223; x <= 223 + length; ++x) pixels.insert({x, row});
  }
  return pixels;
}

std::set<std::pair<int, int>> tickPixels(const ResultsModel& model) {
  std::set<std::pair<int, int>> pixels;
  for (const PlotTick& tick : model.ticks) {
    for (int x = 22 - tick.length; x <= 22; ++x) pixels.insert({x, tick.row});
    for (int x = 223; x <= 223 + tick.length; ++x) pixels.insert({x, tick.row});
  }
  return pixels;
}

TEST(ResultsDisplayLargeValues, TicksCoverTheSamePixelsAsTheFullLoop) {
  for (const float reading : {30.2f, 69.9f, 70.2f, 74.7f, 99.9f, 1000.0f, 12345.6f}) {
    MonitorState state = startedState();
    addReadings(state, {reading});
    const ResultsModel model = buildResultsModel(state, ".");
    EXPECT_EQ(tickPixels(model), tickPixelsByLoop(model.scaleMax)) << reading;
  }
}

TEST(ResultsDisplayLargeValues, NonFiniteAndHugeEntriesGiveABoundedPlot) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float huge = std::numeric_limits<float>::max();
  const std::vector<float> cases[] = {{nan}, {inf}, {-inf}, {huge}, {1.0e30f, 1.2f}, {2.0f, nan, 1.0f}};
  for (const auto& readings : cases) {
    MonitorState state = startedState();
    addReadings(state, readings);
    const ResultsModel model = buildResultsModel(state, ".");
    EXPECT_GE(model.scaleMax, 1.0f);
    EXPECT_LE(model.ticks.size(), 141u);  // at most one tick per half row
    for (const PlotTick& tick : model.ticks) {
      EXPECT_GE(tick.row, kPlotTopRow);
      EXPECT_LE(tick.row, kPlotBottomRow);
    }
    for (const PlotPoint& point : model.curve) {
      const bool negativeEntry = readings.front() == -inf;
      if (!negativeEntry) {
        EXPECT_GE(point.y, kPlotTopRow);
        EXPECT_LE(point.y, kPlotBottomRow);
      }
    }
  }
}

TEST(ResultsDisplayLargeValues, InfinityDrawsOnTopAndNanOnTheBottom) {
  MonitorState state = startedState();
  addReadings(state, {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()});
  const ResultsModel model = buildResultsModel(state, ".");
  EXPECT_EQ(model.curve[199].y, kPlotTopRow);
  EXPECT_EQ(model.curve[200].y, kPlotBottomRow);
}

}  // namespace
}  // namespace nebulor
