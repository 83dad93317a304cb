#include "display/ResultsDisplay.h"

#include <cmath>
#include <cstdint>

#include "core/FriedParameter.h"
#include "core/NumberText.h"
#include "core/SeeingHistory.h"
#include "measure/SeeingReduction.h"

namespace nebulor {

namespace {

// Rows far outside the 81-pixel surface (negative values, a zero scale) are
// clipped when painted; this bound only keeps the integer conversion defined.
constexpr double kRowOffsetBound = 1e6;

// Above this scale maximum whole values lie less than a pixel apart, so every
// row from 0 to m already carries a long tick, and a long tick covers the
// short one on its row. Drawing one long tick per row then gives the same
// picture with a bounded loop, whatever the history holds.
constexpr float kMaxExactTickScale = 70;

std::string withSeparator(std::string text, const std::string& decimalSeparator) {
  const auto dot = text.find('.');
  if (dot != std::string::npos) text.replace(dot, 1, decimalSeparator);
  return text;
}

// A read-out: the value truncated to its decimals, in general number format.
std::string readoutText(double value, std::int16_t decimals, const std::string& decimalSeparator) {
  return withSeparator(doubleText(TruncateDecimals(value, decimals)), decimalSeparator);
}

std::vector<PlotTick> plotTicks(float m) {
  std::vector<PlotTick> ticks;
  if (std::isfinite(m) && m <= kMaxExactTickScale) {
    for (float v = 0; v <= m; v += 0.5f) {
      ticks.push_back({plotRow(v, m), v == std::floor(v) ? 4 : 2});
    }
  } else {
    for (int row = kPlotBottomRow; row >= kPlotTopRow; --row) ticks.push_back({row, 4});
  }
  return ticks;
}

// The tooltip's second line: the coherence time and the wind, or why not.
std::string coherenceTip(const MonitorState& state, const std::string& decimalSeparator) {
  const auto withError = [&](double value, double error, int decimals, const char* unit) {
    return readoutText(value, decimals, decimalSeparator) + " \u00b1 " +
           readoutText(error, decimals, decimalSeparator) + unit;
  };
  if (!state.coherence) {
    return state.coherenceUnknown.empty() ? "" : "\ntau0 and wind unknown: " + state.coherenceUnknown;
  }
  const Coherence& c = *state.coherence;
  const std::string wind = withError(c.wind, c.windError, 1, " m/s");
  if (!c.tau0) return "\ntau0 unknown: the wind, " + wind + ", cannot be told from calm air";
  return "\ntau0 " + withError(*c.tau0, c.tau0Error, 2, " ms") + ", wind " + wind;
}

}  // namespace

float plotScaleMax(const std::array<float, kHistorySlots + 1>& history) {
  float m = 1;
  for (const float v : history) {
    if (v > m) m = static_cast<float>(std::floor(2.0 * v + 1) / 2);
  }
  return m;
}

int plotRow(float v, float m) {
  double offset = 70 - static_cast<double>(v) * 70 / static_cast<double>(m);
  if (std::isnan(offset)) {
    // No value (NaN), or an infinite one under an infinite scale: put the
    // infinite one on top and the missing one where an empty slot lies.
    return v > 0 ? kPlotTopRow : kPlotBottomRow;
  }
  offset = std::fmax(-kRowOffsetBound, std::fmin(kRowOffsetBound, offset));
  return static_cast<int>(std::nearbyint(offset)) + kPlotTopRow;
}

ResultsModel buildResultsModel(const MonitorState& state, const std::string& decimalSeparator) {
  ResultsModel model;
  model.startAbortEnabled = commandStates(state.mode, state.starsSelected == kTrue).startAbort;

  const auto& history = state.fwhmHistory;
  const float m = plotScaleMax(history);
  model.scaleMax = m;

  model.frame = {PlotLine{{kPlotLeftAxis, kPlotBottomRow}, {kPlotRightAxis, kPlotBottomRow}},
                 PlotLine{{kPlotLeftAxis, kPlotTopRow}, {kPlotLeftAxis, kPlotBottomRow}},
                 PlotLine{{kPlotRightAxis, kPlotTopRow}, {kPlotRightAxis, kPlotBottomRow}}};

  // The leading blank is the sign position of a non-negative number.
  const std::string maxText = " " + withSeparator(singleText(m), decimalSeparator);
  const std::string zeroText = " " + singleText(0);
  model.labels = {PlotLabel{maxText, {0, 0}}, PlotLabel{zeroText, {0, 65}}, PlotLabel{maxText, {225, 0}},
                  PlotLabel{zeroText, {225, 65}}};

  model.ticks = plotTicks(m);

  // Oldest first: the ring from the slot the next reading goes to.
  const int start = historyWriteSlot(state.historyCount);
  model.curve[0] = {kPlotLeftAxis + 1, plotRow(history[start], m)};
  int slot = start;
  for (int i = 1; i <= kHistorySlots; ++i) {
    model.curve[i] = {kPlotLeftAxis + i, plotRow(history[slot], m)};
    slot = historySlotAfter(slot);
  }

  const float latest = history[latestHistorySlot(state.historyCount)];
  model.seeingFwhm = readoutText(latest, 2, decimalSeparator) + " arcsecs";
  model.seeingR0 = readoutText(r0Centimetres(state.config.wavelength, latest), 1, decimalSeparator) + " cm";
  if (state.bestSeeing > 0) {
    model.seeingTip = "Nebulor's best estimate: " + readoutText(state.bestSeeing, 2, decimalSeparator) +
                      " \u00b1 " + readoutText(state.bestSeeingError, 2, decimalSeparator) +
                      " arcsecs (G-tilt response, small-sample bias and centroid noise corrected" +
                      (state.bestExposure != 0    ? ")"
                       : state.fixedExtrapolation ? ", extrapolated to zero exposure time)"
                                                  : ", at zero exposure time for the measured wind)") +
                      coherenceTip(state, decimalSeparator);
  }
  model.longDev = readoutText(state.longStdDev, 2, decimalSeparator);
  model.transDev = readoutText(state.transStdDev, 2, decimalSeparator);
  model.badReadings = rejectedShareText(state, decimalSeparator);
  return model;
}

std::string rejectedShareText(const MonitorState& state, const std::string& decimalSeparator) {
  // A 16-bit count times 100 fits an int; so does a fast reading's frames.
  const int rejected = state.badSampleCount;
  const int exposures = rejected + readingLength(state);
  const double share = exposures != 0 ? static_cast<double>(rejected * 100) / exposures : 0.0;
  return readoutText(share, 1, decimalSeparator) + "%";
}

}  // namespace nebulor
