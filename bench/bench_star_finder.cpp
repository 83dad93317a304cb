// Star finder on a 300 x 200 measurement subframe (target: under 20 us per
// centroid), and the simulator synthesising such a subframe (frames/s).
// Then the finder under each condition of docs/validation.md's table, on the
// tests' independent generator: time per star, and as counters its RMS error
// over the Cramer-Rao bound and the exposures lost, from 400 frames.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "camera/sim/FrameRenderer.h"
#include "camera/sim/SimSettings.h"
#include "sky/Scene.h"
#include "sky/SeeingModel.h"
#include "stars/StarFinder.h"
#include "support/StarTrials.h"

namespace {

using namespace nebulor;
using namespace nebulor::camera;

constexpr int kWidth = 300;
constexpr int kHeight = 200;

// The default night, exposed for the default 0.01 s measurement exposure.
struct Subframe {
  sim::SimSettings settings = sim::parseSimSettings("width=300,height=200");
  sky::SeeingModel seeing{settings};
  sky::Scene scene{settings, seeing};
  sim::FrameRenderer renderer{settings, seeing.psfSigma()};
  std::mt19937_64 noise{1};

  stars::Frame render(const sky::SceneState& sky) {
    return renderer.render(sky, {0, 0, kWidth, kHeight}, 0.01, noise);
  }
};

void BM_CentroidNearInSubframe(benchmark::State& state) {
  Subframe subframe;
  const sky::SceneState sky = subframe.scene.next(0, 0.01);
  const stars::Frame frame = subframe.render(sky);
  // Search from a point 2 pixels off the star, as the measurement cycle does
  // after the images have moved.
  const double x = sky.stars[0].x + 2, y = sky.stars[0].y - 2;
  for (auto _ : state) benchmark::DoNotOptimize(stars::findStarNear(frame, x, y));
}
BENCHMARK(BM_CentroidNearInSubframe)->Unit(benchmark::kMicrosecond);

void BM_SynthesiseSubframe(benchmark::State& state) {
  Subframe subframe;
  for (auto _ : state) benchmark::DoNotOptimize(subframe.render(subframe.scene.next(0, 0.01)));
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SynthesiseSubframe)->Unit(benchmark::kMillisecond);

using nebulor::test::Condition;
using nebulor::test::Nuisance;
using nebulor::test::Psf;

const std::vector<Condition>& conditions() {
  static const std::vector<Condition> table{
      {Psf::gaussian, 0.7, 10},
      {Psf::gaussian, 3.5, 10},
      {Psf::gaussian, 0.7, 30},
      {Psf::gaussian, 0.7, 1000},
      {Psf::gaussian, 1.5, 30},
      {Psf::gaussian, 1.5, 100},
      {Psf::gaussian, 1.5, 1000},
      {Psf::gaussian, 3.5, 30},
      {Psf::gaussian, 3.5, 1000},
      {Psf::moffat, 0.7, 30},
      {Psf::moffat, 0.7, 1000},
      {Psf::moffat, 1.5, 100},
      {Psf::moffat, 1.5, 1000},
      {Psf::moffat, 3.5, 100},
      {Psf::moffat, 3.5, 1000},
      {Psf::gaussian, 1.5, 30, Nuisance::hotPixel},
      {Psf::gaussian, 1.5, 100, Nuisance::hotPixel},
      {Psf::gaussian, 3.5, 100, Nuisance::hotPixel},
      {Psf::moffat, 1.5, 100, Nuisance::hotPixel},
      {Psf::gaussian, 1.5, 30, Nuisance::cosmicRay},
      {Psf::gaussian, 1.5, 100, Nuisance::cosmicRay},
      {Psf::moffat, 3.5, 100, Nuisance::cosmicRay},
      {Psf::gaussian, 1.5, 100, Nuisance::companion},
      {Psf::moffat, 0.7, 100, Nuisance::companion},
      {Psf::moffat, 1.5, 100, Nuisance::companion},
  };
  return table;
}

void BM_CentroidUnderCondition(benchmark::State& state) {
  const Condition& condition = conditions()[static_cast<std::size_t>(state.range(0))];
  const std::vector<nebulor::test::TrialFrame> frames = nebulor::test::makeTrialFrames(condition, 64, 3);
  std::size_t i = 0;
  for (auto _ : state) {
    const nebulor::test::TrialFrame& t = frames[i++ % frames.size()];
    benchmark::DoNotOptimize(stars::findStarNear(t.frame, t.truth.x + 2, t.truth.y - 1, t.noise));
  }
  const nebulor::test::TrialStatistics stats = nebulor::test::measureTrials(condition, 400, 5);
  state.counters["rms_over_bound"] = stats.rms / stats.bound;
  state.counters["bias_px"] = stats.bias;
  state.counters["failures"] = stats.failures;
  state.SetLabel(std::string(condition.psf == Psf::gaussian ? "Gaussian" : "Moffat") + " sigma " +
                 std::to_string(condition.sigma).substr(0, 3) + " SNR " +
                 std::to_string(static_cast<int>(condition.peakSnr)) +
                 (condition.nuisance == Nuisance::hotPixel    ? " hot pixel"
                  : condition.nuisance == Nuisance::cosmicRay ? " cosmic ray"
                  : condition.nuisance == Nuisance::companion ? " companion"
                                                              : ""));
}
BENCHMARK(BM_CentroidUnderCondition)->DenseRange(0, 24)->Unit(benchmark::kMicrosecond);

}  // namespace
