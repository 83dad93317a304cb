#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "measure/WindFromFrames.h"
#include "measure/WindResponse.h"

namespace {

// The frozen layer's response for a mask, once per mask and frame spacing
// in a run: the model's tilt covariance, then the table of paths and angles.
void BM_WindResponseForAMask(benchmark::State& run) {
  for (auto _ : run) {
    const nebulor::FrozenFlow flow(0.05, 0.15, 20);
    benchmark::DoNotOptimize(nebulor::WindResponse(flow, 1));
  }
}
BENCHMARK(BM_WindResponseForAMask)->Unit(benchmark::kMillisecond)->Iterations(2);

// What a fast reading's wind adds at its end: a minute of 6,000 frames at
// 100 a second, neighbours correlated as a slow wind makes them, summed,
// fitted and jackknifed. Per frame it is this over 6,000.
void BM_WindOfAMinuteOfFrames(benchmark::State& run) {
  const int n = 6000;
  std::mt19937 random(20261208);
  std::normal_distribution<float> gauss(0, 1);
  std::vector<float> along(n + 1), across(n + 1), noise(n + 1, 0.01f);
  std::vector<std::uint64_t> sequence(n + 1);
  for (int i = 1; i <= n; ++i) {
    along[i] = 0.5f * along[i - 1] + gauss(random);
    across[i] = 0.6f * across[i - 1] + gauss(random);
    sequence[i] = static_cast<std::uint64_t>(i);
  }
  const nebulor::MotionSeries series{along.data(), across.data(), {nullptr, noise.data(), noise.data()}, n};
  const nebulor::ExposureGeometry geometry{1, 2000, 5.4f};
  const nebulor::Config config = nebulor::defaultConfig();
  benchmark::DoNotOptimize(nebulor::WindResponse::forMask(config, 1));  // built once per run, not per reading
  for (auto _ : run) {
    benchmark::DoNotOptimize(
        nebulor::CorrectFramesByWind(series, {sequence.data(), 0.01, 0.01}, config, geometry));
  }
}
BENCHMARK(BM_WindOfAMinuteOfFrames)->Unit(benchmark::kMillisecond);

}  // namespace
