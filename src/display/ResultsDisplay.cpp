#include "display/ResultsDisplay.h"

#include <cmath>
#include <cstdint>

#include "core/NumberText.h"
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

// The slot the next reading goes to; outside 1..200 only before start-up has
// run, and then the ring is read from its first slot.
int ringStart(std::int16_t historyCount) {
  return historyCount >= 1 && historyCount <= kHistorySlots ? historyCount : 1;
}

int nextSlot(int slot) { return slot == kHistorySlots ? 1 : slot + 1; }

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
  model.startAbortEnabled = state.starsSelected == kTrue;

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

  const int start = ringStart(state.historyCount);
  model.curve[0] = {kPlotLeftAxis + 1, plotRow(history[start], m)};
  int slot = start;
  for (int i = 1; i <= kHistorySlots; ++i) {
    model.curve[i] = {kPlotLeftAxis + i, plotRow(history[slot], m)};
    slot = nextSlot(slot);
  }

  const float latest = history[start == 1 ? kHistorySlots : start - 1];
  model.seeingFwhm = readoutText(latest, 2, decimalSeparator) + " arcsecs";
  if (latest > 0) {
    // r0 = 0.98 lambda / FWHM: micrometres over microradians gives metres,
    // times 1000 and over 10 gives cm. The read-out has always taken 4.74
    // microradians per arcsecond (4.848 would be exact); it keeps that factor.
    const double r0 = static_cast<double>(state.config.wavelength) * 0.98 * 1000 / latest / 4.74 / 10;
    model.seeingR0 = readoutText(r0, 1, decimalSeparator) + " cm";
  } else {
    model.seeingR0 = "0 cm";
  }
  model.longDev = readoutText(state.longStdDev, 2, decimalSeparator);
  model.transDev = readoutText(state.transStdDev, 2, decimalSeparator);

  // int holds any 16-bit count times 100.
  const int rejected = state.badSampleCount;
  const int exposures = rejected + state.config.samplesPerReading;
  const double share = exposures != 0 ? static_cast<double>(rejected * 100) / exposures : 0.0;
  model.badReadings = readoutText(share, 1, decimalSeparator) + "%";
  return model;
}

}  // namespace nebulor
