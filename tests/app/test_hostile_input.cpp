// Crafted input from outside, against every reader that takes it: a
// config.ini that is no file or far too big, and an INDI server that reports
// absurd numbers or sends an image whose header lies. Each case ends in a
// readable message, never a hang, a crash or undefined behaviour.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "../camera/indi/FakeIndiServer.h"
#include "../camera/indi/FitsTestFile.h"
#include "../support/ErrorOf.h"
#include "../support/TempFolder.h"
#include "camera/indi/IndiAutomationServer.h"
#include "camera/indi/IndiStreamGuard.h"
#include "config/ConfigFile.h"

namespace nebulor {
namespace {

using testing::TempFolder;

bool mentions(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

// ---- config.ini -------------------------------------------------------------

// A FIFO nobody writes to: reading it would wait for ever. Should the load
// hang, the test opens the FIFO for writing, which ends the read, and fails.
TEST(HostileConfigFile, AFifoIsReportedWithoutWaiting) {
  TempFolder temp;
  const std::string path = temp.file(kConfigFileName);
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  Config config;
  auto load = std::async(std::launch::async, [&] { return LoadConfig(config, temp.folder()); });
  if (load.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ::close(::open(path.c_str(), O_WRONLY));
    ADD_FAILURE() << "loading a FIFO config.ini waits";
  }
  const std::vector<std::string> warnings = load.get();
  EXPECT_EQ(config, defaultConfig());
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_TRUE(mentions(warnings.front(), "not a regular file")) << warnings.front();
}

// An endless device behind a link, and a 100 MB file of bad lines: only the
// first 64 KiB count, with a short list of warnings.
TEST(HostileConfigFile, EndlessOrHugeFilesAreReadOnlyInPart) {
  TempFolder temp;
  const std::string path = temp.file(kConfigFileName);
  std::filesystem::create_symlink("/dev/zero", path);
  Config config;
  const std::vector<std::string> fromDevice = LoadConfig(config, temp.folder());
  EXPECT_EQ(config, defaultConfig());
  ASSERT_EQ(fromDevice.size(), 1u);
  EXPECT_TRUE(mentions(fromDevice.front(), "not a regular file")) << fromDevice.front();

  std::filesystem::remove(path);
  {
    std::ofstream file(path, std::ios::binary);
    file << "samplesPerReading,50\r\n";
    const std::string bad = "holeDistance,no number at all\r\n";
    for (std::size_t written = 0; written < 100'000'000; written += bad.size()) file << bad;
    file << "holeDiameter,40\r\n";
  }
  const std::vector<std::string> fromHuge = LoadConfig(config, temp.folder());
  EXPECT_EQ(config.samplesPerReading, 50) << "the first lines are read";
  EXPECT_EQ(config.holeDiameter, 50) << "the last line lies beyond what is read";
  ASSERT_EQ(fromHuge.size(), 22u) << "the size, 20 warnings and the count of the rest";
  EXPECT_TRUE(mentions(fromHuge.front(), "64 KiB")) << fromHuge.front();
  EXPECT_TRUE(mentions(fromHuge.back(), "more")) << fromHuge.back();
  EXPECT_LT(joined(fromHuge).size(), 4000u);
}

// ---- an INDI server ---------------------------------------------------------

using camera::indi::IndiAutomationServer;
using camera::indi::IndiTimeouts;
using camera::indi::parseIndiOptions;
using testing::errorOf;
using testing::FakeIndiServer;

constexpr IndiTimeouts kQuick{.connect = std::chrono::milliseconds(5000),
                              .reply = std::chrono::milliseconds(5000),
                              .imageMargin = std::chrono::milliseconds(10000)};

// The backend on the fake server, its camera linked.
struct LinkedCamera {
  explicit LinkedCamera(const FakeIndiServer& server)
      : backend(parseIndiOptions("localhost:" + std::to_string(server.port())), kQuick),
        camera(backend.createCamera()) {
    camera->setLinkEnabled(true);
  }
  IndiAutomationServer backend;
  std::unique_ptr<camera::Camera> camera;
};

// The error an exposure ends in, polled for up to 20 s; empty when none came.
std::string exposureError(camera::Camera& camera) {
  camera.expose(0.01f);
  std::string error;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (error.empty() && std::chrono::steady_clock::now() < deadline) {
    error = errorOf([&] { camera.imageReady(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return error;
}

TEST(HostileIndiServer, AnAbsurdSensorSizeIsAnErrorNamingTheDeviceAndProperty) {
  FakeIndiServer server(1e10, 1024, {});
  IndiAutomationServer backend(parseIndiOptions("localhost:" + std::to_string(server.port())), kQuick);
  const auto camera = backend.createCamera();
  const std::string error = errorOf([&] { camera->setLinkEnabled(true); });
  EXPECT_TRUE(mentions(error, FakeIndiServer::kDevice) && mentions(error, "CCD_INFO.CCD_MAX_X")) << error;
}

// 16 x (2^63 - 1) pixels of 2 bytes wrap round 2^64 to less than the one
// block that arrives; an image that arrives empty cannot be decoded at all.
// Either is the exposure's error at once, not when it times out.
TEST(HostileIndiServer, AnImageThatCannotBeReadIsTheExposuresErrorAtOnce) {
  const struct {
    std::vector<std::uint8_t> image;
    const char* error;
  } cases[] = {
      {testing::rawFits({"SIMPLE  =                    T", "BITPIX  =                   16",
                         "NAXIS   =                    2", "NAXIS1  =                   16",
                         "NAXIS2  =  9223372036854775807"}),
       "image"},
      {{}, "could not be decoded"},
  };
  for (const auto& c : cases) {
    FakeIndiServer server(16, 9, c.image);
    LinkedCamera linked(server);
    ASSERT_TRUE(linked.camera->linkEnabled());
    const auto started = std::chrono::steady_clock::now();
    const std::string error = exposureError(*linked.camera);
    EXPECT_TRUE(mentions(error, c.error)) << error;
    EXPECT_LT(std::chrono::steady_clock::now() - started, kQuick.imageMargin)
        << "before the exposure's time-out";
  }
}

// Memory stays bounded whatever the server sends: the connection is dropped,
// with the reason, once a message nests deeper than INDI ever does or grows
// beyond what the reported 1024 x 1024 sensor can explain (16 MiB here).
// The server could send no more than that bound and the sockets' buffers.
TEST(HostileIndiServer, AFloodIsRefusedWithinTheBoundAndTheConnectionDropped) {
  const struct {
    FakeIndiServer::Flood flood;
    const char* reason;
  } cases[] = {
      {FakeIndiServer::Flood::nestedXml, "nested more than 32 deep"},
      {FakeIndiServer::Flood::announcedBlob, "announced an image of 477 MiB, more than the 16 MiB"},
      {FakeIndiServer::Flood::endlessBlob, "sent a message of more than 16 MiB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    FakeIndiServer server(1024, 1024, {}, c.flood);
    LinkedCamera linked(server);
    ASSERT_TRUE(linked.camera->linkEnabled());
    const std::string error = exposureError(*linked.camera);
    EXPECT_TRUE(mentions(error, c.reason) && mentions(error, "dropped")) << error;
    EXPECT_LT(server.floodSent(), camera::indi::kLeastMessageLimit + (std::size_t{8} << 20));
  }
}

}  // namespace
}  // namespace nebulor
