// The program's own work per exposure of a measurement run: everything in
// the exposure loop except the camera's exposure itself (and the image wait,
// which the simulator's instant mode never enters): taking the document,
// the four header values, both centroid searches in a 300 x 200 subframe,
// the log row and the read-outs, plus each reading's share of the reduction
// and the re-centred box.
#include <benchmark/benchmark.h>

#include <memory>
#include <utility>
#include <vector>

#include "camera/sim/SimServer.h"
#include "camera/sim/SimSettings.h"
#include "flows/MeasurementCycle.h"
#include "flows/Startup.h"
#include "support/FlowRig.h"

namespace {

using namespace nebulor;

// Replays images the simulator made beforehand, so that rendering them is
// not measured: an exposure only moves on to the next image.
class ReplayCamera : public camera::Camera {
 public:
  ReplayCamera(camera::Camera& inner, std::vector<std::shared_ptr<camera::ImageDocument>> images)
      : inner_(inner), images_(std::move(images)) {}

  void setLinkEnabled(bool) override {}
  bool linkEnabled() override { return true; }
  void setDisableAutoShutdown(bool) override {}
  int cameraXSize() override { return inner_.cameraXSize(); }
  int cameraYSize() override { return inner_.cameraYSize(); }
  void setFullFrame() override {}
  void setStartX(std::int16_t) override {}
  void setNumX(std::int16_t) override {}
  void setStartY(std::int16_t) override {}
  void setNumY(std::int16_t) override {}
  void expose(float) override { next_ = (next_ + 1) % images_.size(); }
  bool imageReady() override { return true; }
  std::shared_ptr<camera::ImageDocument> document() override { return images_[next_]; }

 private:
  camera::Camera& inner_;
  std::vector<std::shared_ptr<camera::ImageDocument>> images_;
  std::size_t next_ = 0;
};

void BM_ExposureLoop(benchmark::State& bench) {
  constexpr int kExposures = 100;  // one reading per iteration
  testing::TempFolder temp;
  camera::sim::SimServer server(camera::sim::parseSimSettings("timing=instant,clicks=brightest,seed=3"));
  MonitorState state;
  testing::FakeMonitorUi ui(&state);
  AutomationObjects objects;
  RunStartup(state, ui, server, objects, temp.folder());
  StarSelection(state, ui).CommandSelect_Click();
  if (state.starsSelected != kTrue) {
    bench.SkipWithError("the stars were not selected");
    return;
  }
  server.clickState().scriptClicks({});  // the image window looks for no more stars to click
  // A 300 x 200 box round the two stars, kept for every reading.
  const float sensorX[3] = {0, state.subframeMinX + state.starX[1], state.subframeMinX + state.starX[2]};
  const float sensorY[3] = {0, state.subframeMinY + state.starY[1], state.subframeMinY + state.starY[2]};
  const auto minX = static_cast<std::int16_t>((sensorX[1] + sensorX[2]) / 2 - 150);
  const auto minY = static_cast<std::int16_t>((sensorY[1] + sensorY[2]) / 2 - 100);
  camera::Camera& simCamera = *objects.camera;
  simCamera.setStartX(minX);
  simCamera.setNumX(300);
  simCamera.setStartY(minY);
  simCamera.setNumY(200);
  std::vector<std::shared_ptr<camera::ImageDocument>> images;
  for (int i = 0; i < kExposures; ++i) {
    simCamera.expose(state.config.measurementExposure);
    images.push_back(simCamera.document());
  }
  ReplayCamera camera(simCamera, std::move(images));
  state.camera = &camera;
  state.config.samplesPerReading = kExposures;
  MeasurementCycle cycle(state, ui, temp.folder());
  // Stop as soon as the completed reading is shown.
  int updates = 0;
  ui.onUpdateDisplay = [&] {
    if (++updates % 2 == 0) cycle.CommandStartAbort_Click();
  };

  for (auto _ : bench) {
    bench.PauseTiming();
    state.subframeMinX = minX;
    state.subframeMaxX = static_cast<std::int16_t>(minX + 300);
    state.subframeMinY = minY;
    state.subframeMaxY = static_cast<std::int16_t>(minY + 200);
    for (int star = 1; star <= 2; ++star) {
      state.starX[star] = sensorX[star] - minX;
      state.starY[star] = sensorY[star] - minY;
    }
    bench.ResumeTiming();
    cycle.CommandStartAbort_Click();
  }
  if (!ui.messages.empty()) bench.SkipWithError(ui.messages.front().c_str());
  if (state.historyCount == 1) bench.SkipWithError("no reading was reduced");
  bench.counters["per_exposure"] = benchmark::Counter(
      kExposures, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ExposureLoop)->Unit(benchmark::kMicrosecond);

}  // namespace
