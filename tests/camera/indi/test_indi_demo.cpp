// The demo flow through the INDI backend, end to end: start-up against a
// server, and real DIMM motion: Nebulor's own simulator renders frames of a
// known true seeing, Debian's INDI CCD simulator replays them from a folder
// (its directory mode), and the demo selects the stars and measures them.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "FitsTestFile.h"
#include "IndiServerProcess.h"
#include "app/BackendFactory.h"
#include "app/Session.h"
#include "camera/sim/SimServer.h"
#include "camera/sim/SimSettings.h"
#include "config/ConfigFile.h"
#include "support/WidgetTestSupport.h"

namespace nebulor {
namespace {

using testing::FitsTestFile;
using testing::IndiServerProcess;

constexpr int kFrames = 200;
constexpr int kSamplesPerReading = 100;
constexpr int kReadings = 2;  // together about one pass over the frames

struct LatestFrame : camera::FrameViewer {
  void showFrame(std::shared_ptr<const camera::Frame> frame) override { latest = std::move(frame); }
  void showCentroid(const camera::Centroid&) override {}
  std::shared_ptr<const camera::Frame> latest;
};

double headerNumber(camera::ImageDocument& document, const std::string& keyword) {
  return std::get<double>(*document.fitsKey(keyword));
}

// Full frames of the simulator as 16-bit FITS files, named in exposure order,
// with the pixel size the INDI simulator reads (PIXSIZE1) and the simulator's
// own header values.
void writeFrames(const camera::sim::SimSettings& settings, const std::filesystem::path& folder,
                 float seconds) {
  camera::sim::SimServer simulator(settings);
  LatestFrame viewer;
  simulator.setViewer(&viewer);
  auto camera = simulator.createCamera();
  camera->setLinkEnabled(true);
  camera->setFullFrame();
  for (int i = 0; i < kFrames; ++i) {
    camera->expose(seconds);
    ASSERT_TRUE(camera->imageReady());
    auto document = camera->document();
    const camera::Frame& frame = *viewer.latest;
    FitsTestFile file(16, {frame.width, frame.height});
    file.pixels(std::vector<double>(frame.pixels.begin(), frame.pixels.end()));
    for (const char* keyword : {"FOCALLEN", "XPIXSZ", "YPIXSZ", "OBJCTALT"}) {
      file.number(keyword, headerNumber(*document, keyword));
    }
    file.number("PIXSIZE1", headerNumber(*document, "XPIXSZ"))
        .number("PIXSIZE2", headerNumber(*document, "YPIXSZ"));
    const auto bytes = file.bytes();
    char name[32];
    std::snprintf(name, sizeof(name), "dimm-%04d.fits", i);
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
}

std::vector<double> seeingValues(const std::string& output) {
  std::vector<double> values;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const auto at = line.find(" seeing=");
    if (at != std::string::npos) values.push_back(std::stod(line.substr(at + 8)));
  }
  return values;
}

TEST(IndiReplay, TheDemoMeasuresTheReplayedFramesTrueSeeing) {
  IndiServerProcess server;
  const std::filesystem::path frames = server.home() / "frames";
  const std::filesystem::path program = server.home() / "program";
  std::filesystem::create_directories(frames);
  std::filesystem::create_directories(program);

  // The mount's home points at declination 90; at the pole that is the
  // zenith, so the images' altitude is 90 and the airmass 1, as simulated.
  const auto settings =
      camera::sim::parseSimSettings("seeing=1.5,altitude=90,altrate=0,drift=0,width=512,height=512,seed=7");
  Config config = defaultConfig();
  config.samplesPerReading = kSamplesPerReading;
  ASSERT_NO_FATAL_FAILURE(writeFrames(settings, frames, config.measurementExposure));
  std::ofstream(program / kConfigFileName, std::ios::binary) << configText(config);

  server.setProperty("Telescope Simulator.CONNECTION.CONNECT=On");
  server.setProperty("Telescope Simulator.GEOGRAPHIC_COORD.LAT;LONG;ELEV=90;0;0");
  server.setProperty("Telescope Simulator.TELESCOPE_INFO.TELESCOPE_FOCAL_LENGTH=" +
                     std::to_string(settings.focalLength));
  server.setProperty("CCD Simulator.CONNECTION.CONNECT=On");
  server.setProperty("CCD Simulator.POLLING_PERIOD.PERIOD_MS=10");
  server.setProperty("CCD Simulator.CCD_DIRECTORY_LOCATION.LOCATION=" + frames.string());
  server.setProperty("CCD Simulator.CCD_DIRECTORY_TOGGLE.INDI_ENABLED=On");

  camera::Backend backend = camera::makeBackend("indi:" + server.socketOption(), camera::BackendUse::demo);
  std::ostringstream out;
  std::ostringstream err;
  const int exitCode =
      runDemo(test_support::widgetApp(), backend, kReadings, program.string() + "/", out, err);

  RecordProperty("demo_output", out.str());
  EXPECT_EQ(exitCode, 0) << err.str();
  const std::vector<double> seeing = seeingValues(out.str());
  ASSERT_EQ(seeing.size(), static_cast<std::size_t>(kReadings)) << out.str() << err.str();
  // Each direction's seeing goes as its variance to the power 3/5, and a
  // variance from M exposures has a relative error of sqrt(2 / M); the
  // reading averages the two directions. Three standard errors:
  const double mean = std::accumulate(seeing.begin(), seeing.end(), 0.0) / static_cast<double>(seeing.size());
  const double relativeError = 0.6 * std::sqrt(2.0 / (kReadings * kSamplesPerReading)) / std::sqrt(2.0);
  EXPECT_NEAR(mean, settings.seeing, 3 * relativeError * settings.seeing) << out.str();
}

TEST(IndiDemo, ACameraNameTheServerLacksIsAClearStartUpMessage) {
  IndiServerProcess server;
  const std::filesystem::path program = server.home() / "program";
  std::filesystem::create_directories(program);
  camera::Backend backend =
      camera::makeBackend("indi:" + server.socketOption("QHY CCD Nowhere"), camera::BackendUse::demo);
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_NE(runDemo(test_support::widgetApp(), backend, 1, program.string() + "/", out, err), 0);
  EXPECT_NE(err.str().find("Failed to start camera."), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("no device \"QHY CCD Nowhere\" (devices: "), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace nebulor
