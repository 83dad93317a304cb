// The phase-screen simulator's image motion for one 10 ms exposure at the
// default wind, all sub-steps, with the screens' generation shared out over
// the exposures they serve (target: under 50 us per exposure).
#include <benchmark/benchmark.h>

#include "sky/Scene.h"
#include "sky/ScreenTurbulence.h"

namespace {

using namespace nebulor::sky;

// The default night's sky over a phase screen, its images by Fourier optics.
SkySettings screenSky() {
  SkySettings settings;
  settings.turbulence = Turbulence::screen;
  return settings;
}

void BM_ScreenExposure(benchmark::State& state) {
  const SkySettings settings = screenSky();
  ScreenTurbulence turbulence(settings, 0.086, 1);
  for (auto _ : state) benchmark::DoNotOptimize(turbulence.exposure(0.01));
}
// Enough exposures that many screens are drawn and their cost averages out.
BENCHMARK(BM_ScreenExposure)->Unit(benchmark::kMicrosecond)->Iterations(20000);

// One 10 ms exposure of both star images formed by Fourier optics at the
// default wind (10 sub-steps), the motion included (target: under 1 ms).
void BM_FourierExposure(benchmark::State& state) {
  const SkySettings settings = screenSky();
  Scene scene(settings, SeeingModel(settings));
  double time = 0;
  for (auto _ : state) benchmark::DoNotOptimize(scene.next(time += 0.01, 0.01));
}
BENCHMARK(BM_FourierExposure)->Unit(benchmark::kMicrosecond)->Iterations(4000);

}  // namespace
