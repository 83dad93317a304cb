#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/MonitorState.h"

namespace nebulor {

// What one refresh of the results shows, computed from the monitor state
// alone: the read-out texts and the seeing-history plot as drawing
// primitives in the plot surface's device pixels. Widgets only paint it.
struct PlotPoint {
  int x = 0;
  int y = 0;
  bool operator==(const PlotPoint&) const = default;
};

struct PlotLine {
  PlotPoint from;
  PlotPoint to;
  bool operator==(const PlotLine&) const = default;
};

struct PlotLabel {
  std::string text;  // UTF-8
  PlotPoint topLeft;
};

struct PlotTick {
  int row = 0;
  int length = 0;  // 4 at whole values, 2 between them
};

// Plot geometry: the value 0 sits on row 75, the scale maximum on row 5,
// the curve's 200 points on columns 23..222 between the axes at 22 and 223.
inline constexpr int kPlotLeftAxis = 22;
inline constexpr int kPlotRightAxis = 223;
inline constexpr int kPlotTopRow = 5;
inline constexpr int kPlotBottomRow = 75;

struct ResultsModel {
  bool startAbortEnabled = false;

  float scaleMax = 1;                                // m: a multiple of 0.5, at least 1
  std::array<PlotLine, 3> frame{};                   // black: bottom line, left axis, right axis
  std::array<PlotLabel, 4> labels{};                 // black: m and 0 on the left, then on the right
  std::vector<PlotTick> ticks;                       // black: one pair per entry, from value 0 upwards
  std::array<PlotPoint, kHistorySlots + 1> curve{};  // red polyline, oldest slot first

  // Read-outs in the user's number format.
  std::string seeingFwhm;   // LabelSeeingFWHM
  std::string seeingTip;    // its tooltip: Nebulor's best estimate; empty when there is none
  std::string seeingR0;     // LabelSeeingR0
  std::string longDev;      // LabelLongDev
  std::string transDev;     // LabelTransDev
  std::string badReadings;  // LabelBadReadings
};

// decimalSeparator is the user's (UTF-8, usually "." or ",").
ResultsModel buildResultsModel(const MonitorState& state, const std::string& decimalSeparator);

// LabelBadReadings: the share of rejected exposures, 100 x badSampleCount /
// (badSampleCount + samplesPerReading) percent, one decimal, then "%".
std::string rejectedShareText(const MonitorState& state, const std::string& decimalSeparator);

// Scale maximum of the plot over fwhmHistory slots 0..200 in slot order.
float plotScaleMax(const std::array<float, kHistorySlots + 1>& history);

// Plot row of the value v under the scale maximum m.
int plotRow(float v, float m);

}  // namespace nebulor
