// The INDI video stream: the frame rate Nebulor takes from Debian's CCD
// simulator streaming a 300 x 200 region at 0.01 s exposures, and the share
// of frames lost; decoding one such frame; and what the stream's 8-bit
// gamma-encoded frames cost in centroid precision against 16-bit frames.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "IndiServerProcess.h"
#include "camera/indi/IndiAutomationServer.h"
#include "camera/indi/StreamDecoder.h"
#include "support/StarTrials.h"

namespace {

using namespace nebulor;
using camera::indi::decodeStreamFrame;
using camera::indi::streamByteOf;

double processSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Counters: frames taken per second, the share lost between the driver and
// Nebulor (gaps in the sequence), the driver's own frame rate (its FPS
// property, AVG_FPS read every 2 s) and the share of one core Nebulor used
// (all its threads).
void StreamFromSimulator(benchmark::State& state) {
  testing::IndiServerProcess server;
  camera::indi::IndiAutomationServer backend(camera::indi::parseIndiOptions(server.socketOption()));
  auto camera = backend.createCamera();
  camera->setLinkEnabled(true);
  camera->setStartX(490);
  camera->setNumX(300);
  camera->setStartY(412);
  camera->setNumY(200);
  camera::FrameStream* stream = camera->frameStream();
  if (stream == nullptr) {
    state.SkipWithError("the camera offers no video stream");
    return;
  }
  double frames = 0, first = 0, last = 0;
  std::uint64_t firstSequence = 0, lastSequence = 0;
  std::atomic<bool> streaming = true;
  std::vector<double> driverRates;
  for (auto _ : state) {
    stream->startFrames(0.01f);
    const double cpuBefore = processSeconds();
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(state.range(0));
    std::thread sampler([&] {
      while (streaming) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        if (streaming) driverRates.push_back(std::stod(server.getProperty("CCD Simulator.FPS.AVG_FPS")));
      }
    });
    while (std::chrono::steady_clock::now() < end) {
      const auto frame = stream->nextFrame();
      if (!frame) {
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        continue;
      }
      if (frames++ == 0) {
        first = frame->arrival;
        firstSequence = frame->sequence;
      }
      last = frame->arrival;
      lastSequence = frame->sequence;
    }
    streaming = false;
    sampler.join();
    state.counters["cpu_share"] =
        (processSeconds() - cpuBefore) /
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    stream->stopFrames();
  }
  state.counters["driver_fps"] =
      std::accumulate(driverRates.begin(), driverRates.end(), 0.0) / static_cast<double>(driverRates.size());
  state.counters["frames"] = frames;
  state.counters["fps"] = (frames - 1) / (last - first);
  state.counters["lost_share"] = 1 - (frames - 1) / static_cast<double>(lastSequence - firstSequence);
}
BENCHMARK(StreamFromSimulator)->Arg(20)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

void DecodeStreamFrame(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes(300 * 200, 37);
  for (auto _ : state) benchmark::DoNotOptimize(decodeStreamFrame(bytes.data(), bytes.size(), 300, 200, 16));
}
BENCHMARK(DecodeStreamFrame)->Unit(benchmark::kMicrosecond);

// RMS centroid error (px, x and y) of the shared star finder on the tests'
// synthetic 16-bit frames, and on the same frames through libindi's gamma
// table to bytes and back; Gaussian images of sigma 1.5 px at a peak signal
// to noise of state.range(0).
void CentroidPrecisionOfStreamFrames(benchmark::State& state) {
  const test::Condition condition{test::Psf::gaussian, 1.5, static_cast<double>(state.range(0))};
  const std::vector<test::TrialFrame> frames = test::makeTrialFrames(condition, 2000, 11);
  double sum16 = 0, sum8 = 0;
  int used = 0;
  for (auto _ : state) {
    sum16 = sum8 = 0;
    used = 0;
    for (const test::TrialFrame& trial : frames) {
      std::vector<std::uint8_t> bytes(trial.frame.pixels.size());
      for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = streamByteOf(trial.frame.pixels[i]);
      const stars::Frame decoded =
          decodeStreamFrame(bytes.data(), bytes.size(), trial.frame.width, trial.frame.height, 16);
      const auto wide = stars::findStarNear(trial.frame, trial.truth.x + 2, trial.truth.y - 1, trial.noise);
      const auto narrow = stars::findStarNear(decoded, trial.truth.x + 2, trial.truth.y - 1, trial.noise);
      if (!wide.clean() || !narrow.clean()) continue;
      sum16 += std::pow(wide.x - trial.truth.x, 2) + std::pow(wide.y - trial.truth.y, 2);
      sum8 += std::pow(narrow.x - trial.truth.x, 2) + std::pow(narrow.y - trial.truth.y, 2);
      ++used;
    }
  }
  state.counters["rms_16bit_px"] = std::sqrt(sum16 / (2 * used));
  state.counters["rms_8bit_px"] = std::sqrt(sum8 / (2 * used));
  state.counters["ratio"] = std::sqrt(sum8 / sum16);
  state.counters["frames"] = used;
}
BENCHMARK(CentroidPrecisionOfStreamFrames)
    ->Arg(30)
    ->Arg(100)
    ->Arg(200)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
