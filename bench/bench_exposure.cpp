// The program's own work per exposure of a measurement run: everything in
// the exposure loop except the camera's exposure itself (and the image wait,
// which the simulator's instant mode never enters): taking the document,
// the four header values, both centroid searches in a 300 x 200 subframe,
// the log row and the read-outs, plus each reading's share of the reduction
// and the re-centred box. With the argument 1 the readings are published and
// an Alpaca client asks for StarFWHM ten times a second meanwhile: the work
// must stay the same within its noise.
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "AlpacaClient.h"
#include "camera/sim/SimServer.h"
#include "camera/sim/SimSettings.h"
#include "core/ReadingsFeed.h"
#include "flows/MeasurementCycle.h"
#include "flows/Startup.h"
#include "publish/AlpacaService.h"
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
  ReadingsFeed feed;
  AlpacaService alpaca(feed);
  std::atomic<bool> polling = bench.range(0) == 1;
  std::thread poller;
  if (polling) {
    state.feed = &feed;
    constexpr quint16 kPort = 11198;
    if (!alpaca.start({kPort, QStringLiteral("127.0.0.1")}).isEmpty())
      bench.SkipWithError("port 11198 is taken");
    poller = std::thread([&polling] {
      const testing::AlpacaClient client(kPort);
      client.put("/api/v1/observingconditions/0/connected", "Connected=true");
      while (polling) {
        client.get("/api/v1/observingconditions/0/starfwhm");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    });
  }
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
  polling = false;
  if (poller.joinable()) poller.join();
  if (!ui.messages.empty()) bench.SkipWithError(ui.messages.front().c_str());
  if (state.historyCount == 1) bench.SkipWithError("no reading was reduced");
  bench.counters["per_exposure"] = benchmark::Counter(
      kExposures, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ExposureLoop)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
