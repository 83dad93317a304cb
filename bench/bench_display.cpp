#include <benchmark/benchmark.h>

#include <string>

#include "app/MainDisplay.h"
#include "display/HistoryPlot.h"
#include "display/WindowFont.h"

namespace {

// A full history with a wavy seeing record, after 300 readings.
nebulor::MonitorState fullHistory() {
  nebulor::MonitorState state;
  state.config = nebulor::defaultConfig();
  for (int slot = 1; slot <= nebulor::kHistorySlots; ++slot) {
    state.fwhmHistory[slot] = 0.6f + 0.02f * static_cast<float>((slot * 37) % 100);
  }
  state.historyCount = 101;
  state.longStdDev = 0.37;
  state.transStdDev = 0.41;
  state.badSampleCount = 2;
  state.starsSelected = nebulor::kTrue;
  return state;
}

// The display model and the plot drawn into its kept image.
void BM_PlotRefresh(benchmark::State& bench) {
  const nebulor::MonitorState state = fullHistory();
  nebulor::HistoryPlot plot;
  plot.setFont(nebulor::windowFont());
  for (auto _ : bench) {
    plot.showModel(nebulor::buildResultsModel(state, "."));
    benchmark::DoNotOptimize(plot.image().constBits());
  }
}
BENCHMARK(BM_PlotRefresh)->Unit(benchmark::kMicrosecond);

// The whole refresh of the main window: plot, read-outs and the start/stop command.
void BM_UpdateDisplay(benchmark::State& bench) {
  nebulor::MonitorState state = fullHistory();
  nebulor::MainDisplay window(state, "/nonexistent/");
  for (auto _ : bench) window.updateDisplay();
}
BENCHMARK(BM_UpdateDisplay)->Unit(benchmark::kMicrosecond);

}  // namespace
