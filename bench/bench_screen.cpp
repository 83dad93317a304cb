// The phase-screen simulator's image motion for one 10 ms exposure at the
// default wind, all sub-steps, with the screens' generation shared out over
// the exposures they serve (target: under 50 us per exposure for one layer;
// each further layer adds as much).
#include <benchmark/benchmark.h>

#include "sky/LayeredTurbulence.h"
#include "sky/Scene.h"

namespace {

using namespace nebulor::sky;

// The default night's sky over a phase screen, its images by Fourier optics;
// with more than one layer, all at the default wind, each its own way.
SkySettings screenSky(int layers = 1) {
  SkySettings settings;
  settings.turbulence = Turbulence::screen;
  for (int i = 0; layers > 1 && i < layers; ++i) settings.layers.push_back({1, settings.wind, 90.0 * i});
  return settings;
}

void BM_ScreenExposure(benchmark::State& state) {
  const SkySettings settings = screenSky(static_cast<int>(state.range(0)));
  LayeredTurbulence turbulence(settings, 0.086, 1);
  for (auto _ : state) benchmark::DoNotOptimize(turbulence.exposure(0.01));
}
// Enough exposures that many screens are drawn and their cost averages out.
BENCHMARK(BM_ScreenExposure)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond)->Iterations(20000);

// One 10 ms exposure of both star images formed by Fourier optics at the
// default wind (10 sub-steps), the motion included (target: under 1 ms), over
// as many layers as the argument.
void BM_FourierExposure(benchmark::State& state) {
  const SkySettings settings = screenSky(static_cast<int>(state.range(0)));
  Scene scene(settings, SeeingModel(settings));
  double time = 0;
  for (auto _ : state) benchmark::DoNotOptimize(scene.next(time += 0.01, 0.01));
}
BENCHMARK(BM_FourierExposure)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond)->Iterations(4000);

}  // namespace
