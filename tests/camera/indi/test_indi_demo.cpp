// The demo flow through the INDI backend, end to end: start-up against a
// server, and real DIMM motion: Nebulor's own simulator renders frames of a
// known true seeing, Debian's INDI CCD simulator replays them from a folder
// (its directory mode), and the demo selects the stars and measures them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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
#include "measure/RawLog.h"
#include "support/ProgramProcess.h"
#include "support/WidgetTestSupport.h"

namespace nebulor {
namespace {

using testing::FitsTestFile;
using testing::IndiServerProcess;

constexpr int kFrames = 200;
constexpr int kSamplesPerReading = 100;
constexpr int kReadings = 2;  // together about one pass over the frames

struct LatestFrame : camera::FrameViewer {
  void showFrame(std::shared_ptr<const stars::Frame> frame) override { latest = std::move(frame); }
  void showCentroid(const stars::Centroid&) override {}
  std::shared_ptr<const stars::Frame> latest;
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
    const stars::Frame& frame = *viewer.latest;
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

// The night the INDI simulator replays: frames of a known true seeing, and
// the configuration of the program folder it returns.
const camera::sim::SimSettings kNight =
    camera::sim::parseSimSettings("seeing=1.5,altitude=90,altrate=0,drift=0,width=512,height=512,seed=7");

std::filesystem::path startReplay(const IndiServerProcess& server, int samplesPerReading) {
  const std::filesystem::path frames = server.home() / "frames";
  const std::filesystem::path program = server.home() / "program";
  std::filesystem::create_directories(frames);
  std::filesystem::create_directories(program);

  // The mount's home points at declination 90; at the pole that is the
  // zenith, so the images' altitude is 90 and the airmass 1, as simulated.
  Config config = defaultConfig();
  config.samplesPerReading = static_cast<std::int16_t>(samplesPerReading);
  writeFrames(kNight, frames, config.measurementExposure);
  std::ofstream(program / kConfigFileName, std::ios::binary) << configText(config);

  server.setProperty("Telescope Simulator.CONNECTION.CONNECT=On");
  server.setProperty("Telescope Simulator.GEOGRAPHIC_COORD.LAT;LONG;ELEV=90;0;0");
  server.setProperty("Telescope Simulator.TELESCOPE_INFO.TELESCOPE_FOCAL_LENGTH=" +
                     std::to_string(kNight.focalLength));
  server.setProperty("CCD Simulator.CONNECTION.CONNECT=On");
  server.setProperty("CCD Simulator.POLLING_PERIOD.PERIOD_MS=10");
  server.setProperty("CCD Simulator.CCD_DIRECTORY_LOCATION.LOCATION=" + frames.string());
  server.setProperty("CCD Simulator.CCD_DIRECTORY_TOGGLE.INDI_ENABLED=On");
  return program;
}

// Each direction's seeing goes as its variance to the power 3/5, and a
// variance from M exposures has a relative error of sqrt(2 / M); the
// reading averages the two directions. Three standard errors round the truth:
void expectTrueSeeing(const std::vector<double>& seeing, int samplesPerReading, const std::string& output) {
  ASSERT_FALSE(seeing.empty()) << output;
  const double mean = std::accumulate(seeing.begin(), seeing.end(), 0.0) / static_cast<double>(seeing.size());
  const double exposures = static_cast<double>(seeing.size()) * samplesPerReading;
  const double relativeError = 0.6 * std::sqrt(2.0 / exposures) / std::sqrt(2.0);
  EXPECT_NEAR(mean, kNight.seeing, 3 * relativeError * kNight.seeing) << output;
}

TEST(IndiReplay, TheDemoMeasuresTheReplayedFramesTrueSeeing) {
  IndiServerProcess server;
  const std::filesystem::path program = startReplay(server, kSamplesPerReading);
  ASSERT_FALSE(HasFatalFailure());

  camera::Backend backend = camera::makeBackend("indi:" + server.socketOption(), camera::BackendUse::demo);
  std::ostringstream out;
  std::ostringstream err;
  const int exitCode =
      runDemo(test_support::widgetApp(), backend, kReadings, program.string() + "/", out, err);

  RecordProperty("demo_output", out.str());
  EXPECT_EQ(exitCode, 0) << err.str();
  const std::vector<double> seeing = seeingValues(out.str());
  ASSERT_EQ(seeing.size(), static_cast<std::size_t>(kReadings)) << out.str() << err.str();
  expectTrueSeeing(seeing, kSamplesPerReading, out.str());
}

// nebulor --headless as a user runs it, without a display: the stars chosen
// on the first replayed frame, then readings without a truth to print.
TEST(IndiReplay, TheHeadlessProgramChoosesTheStarsAndMeasuresTheReplayedFrames) {
  IndiServerProcess server;
  const std::filesystem::path program = startReplay(server, kSamplesPerReading);
  ASSERT_FALSE(HasFatalFailure());

  testing::ProgramProcess nebulor(
      NEBULOR_EXECUTABLE, program,
      {"--headless", "--readings", std::to_string(kReadings), "--camera", "indi:" + server.socketOption()});
  EXPECT_EQ(nebulor.wait(std::chrono::minutes(3)), 0) << nebulor.error();
  RecordProperty("headless_output", nebulor.output());
  EXPECT_NE(nebulor.error().find("Star images chosen at"), std::string::npos) << nebulor.error();
  EXPECT_EQ(nebulor.output().find("true="), std::string::npos) << nebulor.output();
  const std::vector<double> seeing = seeingValues(nebulor.output());
  ASSERT_EQ(seeing.size(), static_cast<std::size_t>(kReadings)) << nebulor.output() << nebulor.error();
  expectTrueSeeing(seeing, kSamplesPerReading, nebulor.output());
  const std::string log = nebulor.read(kRawLogFileName);
  EXPECT_GE(std::count(log.begin(), log.end(), '\n'), kReadings * kSamplesPerReading + 1);
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
