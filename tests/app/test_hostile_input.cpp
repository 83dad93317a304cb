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

TEST(HostileIndiServer, AnAbsurdSensorSizeIsAnErrorNamingTheDeviceAndProperty) {
  const struct {
    double width;
    double height;
    const char* error;
  } cases[] = {
      {1e10, 1024, "CCD_INFO.CCD_MAX_X"},
      {65535, 65535, "65535 x 65535 pixels, more than any observatory camera has"},
  };
  for (const auto& c : cases) {
    FakeIndiServer server(c.width, c.height, {});
    IndiAutomationServer backend(parseIndiOptions("localhost:" + std::to_string(server.port())), kQuick);
    const auto camera = backend.createCamera();
    const std::string error = errorOf([&] { camera->setLinkEnabled(true); });
    EXPECT_TRUE(mentions(error, FakeIndiServer::kDevice) && mentions(error, c.error)) << error;
  }
}

// The bound on a server's messages never follows the sensor the same server
// reports beyond the largest camera's, nor beyond an eighth of the memory;
// a BLOB's announced size is found however XML lays out its attributes.
TEST(HostileIndiServer, TheBoundOnMessagesHoldsWhateverTheServerReports) {
  using camera::indi::messageLimitFor;
  constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
  EXPECT_EQ(messageLimitFor(65535, 65535, 64 * kGiB), messageLimitFor(16384, 16384, 64 * kGiB));
  EXPECT_LT(messageLimitFor(16384, 16384, 64 * kGiB), 3 * kGiB);
  EXPECT_EQ(messageLimitFor(65535, 65535, 4 * kGiB), kGiB / 2);
  EXPECT_EQ(messageLimitFor(100, 100, 4 * kGiB), camera::indi::kLeastMessageLimit);
  for (const char* tag : {"<oneBLOB name=\"CCD1\" size=\"900000000\">", "<oneBLOB\nsize=\"900000000\">",
                          "<oneBLOB name='CCD1'\tsize = '900000000' format='.fits'>",
                          "<oneBLOB\r\n  format=\".fits\"\n  size=\"900000000\">"}) {
    camera::indi::IndiStreamGuard guard;
    const std::optional<Failure> refused = guard.take(std::string("<setBLOBVector>") + tag, 16u << 20);
    ASSERT_TRUE(refused.has_value()) << tag;
    EXPECT_TRUE(mentions(refused->reason, "announced an image of 859 MiB")) << refused->reason;
  }
}

// Whatever an exposure is answered with, it ends at once with the reason:
// an image whose size (16 x (2^63 - 1) pixels of 2 bytes) wraps round 2^64,
// one that arrives empty, or a message nested deeper than INDI's or beyond
// what the 1024 x 1024 sensor explains (16 MiB), which drops the connection
// after no more than that and the sockets' buffers: memory stays bounded.
TEST(HostileIndiServer, AnAnswerThatCannotBeTakenEndsTheExposureAtOnceWithinBoundedMemory) {
  using Flood = FakeIndiServer::Flood;
  const struct {
    std::vector<std::uint8_t> image;
    Flood flood;
    const char* error;
  } cases[] = {
      {testing::rawFits({"SIMPLE  =                    T", "BITPIX  =                   16",
                         "NAXIS   =                    2", "NAXIS1  =                   16",
                         "NAXIS2  =  9223372036854775807"}),
       Flood::none, "image"},
      {{}, Flood::none, "could not be decoded"},
      {{}, Flood::nestedXml, "nested more than 32 deep, so Nebulor dropped"},
      {{}, Flood::announcedBlob, "announced an image of 477 MiB, more than the 16 MiB"},
      {{}, Flood::endlessBlob, "sent a message of more than 16 MiB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    FakeIndiServer server(1024, 1024, c.image, c.flood);
    IndiAutomationServer backend(parseIndiOptions("localhost:" + std::to_string(server.port())), kQuick);
    const auto camera = backend.createCamera();
    camera->setLinkEnabled(true);
    ASSERT_TRUE(camera->linkEnabled());
    camera->expose(0.01f);
    std::string error;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (error.empty() && std::chrono::steady_clock::now() < deadline) {
      error = errorOf([&] { camera->imageReady(); });
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(mentions(error, c.error)) << error;
    EXPECT_LT(server.floodSent(), camera::indi::kLeastMessageLimit + (std::size_t{8} << 20));
  }
}

}  // namespace
}  // namespace nebulor
