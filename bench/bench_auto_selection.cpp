// Automatic star selection on a full 1280 x 1024 frame of the simulator
// (target: under 20 ms): the star images found over the whole frame and the
// mask's pair chosen among them.
#include <benchmark/benchmark.h>

#include <random>

#include "camera/sim/FrameRenderer.h"
#include "camera/sim/SimSettings.h"
#include "sky/Scene.h"
#include "sky/SeeingModel.h"
#include "stars/StarPair.h"

namespace {

using namespace nebulor;

void BM_ChooseStarPairOnFullFrame(benchmark::State& state) {
  const camera::sim::SimSettings settings = camera::sim::parseSimSettings("");
  const sky::SeeingModel seeing(settings);
  sky::Scene scene(settings, seeing);
  const camera::sim::FrameRenderer renderer(settings, seeing.psfSigma());
  std::mt19937_64 noise(1);
  // The full frame of a selection: the default initial exposure, 0.5 s.
  const stars::Frame frame =
      renderer.render(scene.next(0, 0.5), {0, 0, settings.width, settings.height}, 0.5, noise);
  const stars::SeparationRange separation =
      stars::plausibleSeparation(settings.focalLength, settings.pixelSize);
  for (auto _ : state) {
    const stars::StarPairChoice choice = stars::chooseStarPair(frame, separation);
    if (!choice.pair) state.SkipWithError("no pair found");
    benchmark::DoNotOptimize(choice);
  }
}
BENCHMARK(BM_ChooseStarPairOnFullFrame)->Unit(benchmark::kMillisecond);

}  // namespace
