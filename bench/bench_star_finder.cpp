// Star finder on a 300 x 200 measurement subframe (target: under 20 us per
// centroid), and the simulator synthesising such a subframe (frames/s).
#include <benchmark/benchmark.h>

#include <random>

#include "camera/StarFinder.h"
#include "camera/sim/FrameRenderer.h"
#include "camera/sim/SeeingModel.h"
#include "camera/sim/SimScene.h"
#include "camera/sim/SimSettings.h"

namespace {

using namespace nebulor::camera;

constexpr int kWidth = 300;
constexpr int kHeight = 200;

// The default night, exposed for the default 0.01 s measurement exposure.
struct Subframe {
  sim::SimSettings settings = sim::parseSimSettings("width=300,height=200");
  sim::SeeingModel seeing{settings};
  sim::SimScene scene{settings, seeing};
  sim::FrameRenderer renderer{settings, seeing.psfSigma()};
  std::mt19937_64 noise{1};

  Frame render(const sim::SceneState& sky) {
    return renderer.render(sky, {0, 0, kWidth, kHeight}, 0.01, noise);
  }
};

void BM_CentroidNearInSubframe(benchmark::State& state) {
  Subframe subframe;
  const sim::SceneState sky = subframe.scene.next(0, 0.01);
  const Frame frame = subframe.render(sky);
  // Search from a point 2 pixels off the star, as the measurement cycle does
  // after the images have moved.
  const double x = sky.stars[0].x + 2, y = sky.stars[0].y - 2;
  for (auto _ : state) benchmark::DoNotOptimize(findStarNear(frame, x, y));
}
BENCHMARK(BM_CentroidNearInSubframe)->Unit(benchmark::kMicrosecond);

void BM_SynthesiseSubframe(benchmark::State& state) {
  Subframe subframe;
  for (auto _ : state) benchmark::DoNotOptimize(subframe.render(subframe.scene.next(0, 0.01)));
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SynthesiseSubframe)->Unit(benchmark::kMillisecond);

}  // namespace
