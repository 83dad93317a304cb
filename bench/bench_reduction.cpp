#include <benchmark/benchmark.h>

#include <random>

#include "measure/SeeingReduction.h"

namespace {

// One full reading of 200 exposures: two star images 60 pixels apart,
// jittered by a pixel, reduced from mean positions to history entry.
void BM_ReduceFullReading(benchmark::State& run) {
  nebulor::MonitorState state;
  state.config = nebulor::defaultConfig();
  state.config.samplesPerReading = nebulor::kMaxSamples;
  state.historyCount = 1;
  std::mt19937 random(20261206);
  std::normal_distribution<float> jitter(0, 1);
  for (int i = 1; i <= nebulor::kMaxSamples; ++i) {
    state.sampleX[1][i] = 50 + jitter(random);
    state.sampleY[1][i] = 50 + jitter(random);
    state.sampleX[2][i] = 80 + jitter(random);
    state.sampleY[2][i] = 102 + jitter(random);
  }
  const nebulor::ExposureGeometry geometry{nebulor::CalcAirmass(60), 1000, 9};
  for (auto _ : run) {
    benchmark::DoNotOptimize(nebulor::StoreMeanPositions(state));
    benchmark::DoNotOptimize(nebulor::ReduceReading(state, geometry));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ReduceFullReading)->Unit(benchmark::kMicrosecond);

}  // namespace
