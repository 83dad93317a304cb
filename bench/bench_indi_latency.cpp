// Time from starting an exposure to its image being decoded and ready, for
// a 100 x 100 subframe at 0.01 s, against Debian's indiserver and CCD
// simulator started here. Transports: 0 = the server's unix socket,
// 1 = TCP with TCP_NODELAY (the backend's default), 2 = plain TCP.
// pollms is the simulator's POLLING_PERIOD: its exposures end on that timer.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>

#include "IndiServerProcess.h"
#include "camera/indi/IndiAutomationServer.h"

namespace {

using nebulor::camera::indi::IndiAutomationServer;
using nebulor::camera::indi::parseIndiOptions;

void ExposureToImage(benchmark::State& state) {
  const auto transport = state.range(0);
  nebulor::testing::IndiServerProcess server;
  server.setProperty("CCD Simulator.POLLING_PERIOD.PERIOD_MS=" + std::to_string(state.range(1)));

  auto options = parseIndiOptions(transport == 0 ? server.socketOption() : server.tcpOption());
  options.tcpNoDelay = transport == 1;
  IndiAutomationServer backend(options);
  auto camera = backend.createCamera();
  camera->setLinkEnabled(true);
  camera->setStartX(200);
  camera->setNumX(100);
  camera->setStartY(300);
  camera->setNumY(100);
  const auto takeImage = [&] {
    camera->expose(0.01f);
    while (!camera->imageReady()) std::this_thread::sleep_for(std::chrono::microseconds(200));
  };
  takeImage();  // sends the subframe once, outside the timing

  for (auto _ : state) takeImage();
}

BENCHMARK(ExposureToImage)
    ->ArgNames({"transport", "pollms"})
    ->ArgsProduct({{0, 1, 2}, {1000, 10}})
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
