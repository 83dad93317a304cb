#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include "IndiServerProcess.h"
#include "measure/ReadingsLog.h"
#include "measure/ReadingsReader.h"
#include "support/ProgramProcess.h"
#include "support/TempFolder.h"

namespace nebulor {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::IndiServerProcess;

// Debian's indiserver with the driver, pointed at a fresh data folder.
struct DriverRig {
  explicit DriverRig(const std::string& log = "") {
    if (!log.empty()) testing::writeBytes(folder / kReadingsLogFileName, log);
    set("READINGS_FOLDER.FOLDER=" + folder.string());
    set("CONNECTION.CONNECT=On");
  }
  ~DriverRig() { fs::remove_all(folder); }
  void set(const std::string& assignment) const { server.setProperty("Nebulor Seeing." + assignment); }
  std::string get(const std::string& element) const {
    try {
      return server.getProperty("Nebulor Seeing." + element);
    } catch (const std::runtime_error&) {
      return "(none)";
    }
  }
  // The element as indi_getprop prints it, once it reads `expected` or after 10 s.
  std::string await(const std::string& element, const std::string& expected) const {
    std::string value = get(element);
    for (int tries = 0; tries < 50 && value != expected; ++tries) {
      std::this_thread::sleep_for(200ms);
      value = get(element);
    }
    return value;
  }

  fs::path folder = testing::freshTempFolder("nebulor-weather");
  IndiServerProcess server{{NEBULOR_WEATHER_DRIVER}};
};

Reading lastReading(const fs::path& log) {
  ReadingsReader reader;
  EXPECT_FALSE(reader.readNew(log.string()));
  return reader.readings().empty() ? Reading() : reader.readings().back();
}

// The seeing at 500 nm of config.ini's default wavelength, 0.5 um, is 0.98 x best.
void expectShown(const DriverRig& rig, const fs::path& log) {
  const Reading last = lastReading(log);
  ASSERT_TRUE(last.best && last.r0) << log;
  const auto value = [&](const std::string& name) {
    return std::strtod(rig.get("WEATHER_PARAMETERS." + name).c_str(), nullptr);
  };
  for (int tries = 0; tries < 50 && std::abs(value("WEATHER_SEEING") - 0.98 * *last.best) > 1e-9; ++tries)
    std::this_thread::sleep_for(200ms);
  EXPECT_NEAR(value("WEATHER_SEEING"), 0.98 * *last.best, 1e-9);
  EXPECT_NEAR(value("WEATHER_SEEING_CLASSICAL"), last.seeing, 1e-9);
  EXPECT_NEAR(value("WEATHER_R0"), *last.r0, 1e-9);
  EXPECT_EQ(rig.get("WEATHER_PARAMETERS._STATE"), "Ok");
}

std::vector<std::string> headless(const std::string& readings, int seed) {
  return {"--headless", "--readings", readings, "--camera",
          "sim:timing=instant,seed=" + std::to_string(seed)};
}

TEST(IndiWeather, ShowsTheLatestReadingThroughALogRotationAndANewRun) {
  DriverRig rig;
  const fs::path log = rig.folder / kReadingsLogFileName, moved = rig.folder / "SeeingReadings.csv.1";
  {
    testing::ProgramProcess nebulor(NEBULOR_EXECUTABLE, rig.folder, headless("0", 1));
    ASSERT_TRUE(nebulor.waitForError("monitoring", 60s)) << nebulor.error();
    std::this_thread::sleep_for(500ms);
    fs::rename(log, moved);  // as logrotate does: Nebulor writes on in the moved file
    std::this_thread::sleep_for(1500ms);
    nebulor.signal(SIGTERM);
    ASSERT_EQ(nebulor.wait(30s), 0) << nebulor.error();
  }
  expectShown(rig, moved);
  EXPECT_EQ(rig.await("WEATHER_PARAMETERS.WEATHER_TAU0", "(none)"), "(none)");
  testing::ProgramProcess next(NEBULOR_EXECUTABLE, rig.folder, headless("3", 2));
  ASSERT_EQ(next.wait(60s), 0) << next.error();
  expectShown(rig, log);
}

TEST(IndiWeather, TheStatusFollowsTheRangesAndTurnsIdleWithoutARecentReading) {
  DriverRig rig;
  testing::ProgramProcess nebulor(NEBULOR_EXECUTABLE, rig.folder, headless("3", 3));
  ASSERT_EQ(nebulor.wait(60s), 0) << nebulor.error();
  const double seeing = 0.98 * *lastReading(rig.folder / kReadingsLogFileName).best;
  const struct {
    double maxOk, percentWarning;
    const char* status;
  } table[] = {{3, 10, "Ok"}, {1.1, 50, "Busy"}, {0.5, 0, "Alert"}, {3, 10, "Ok"}};
  for (const auto& row : table) {
    rig.set("WEATHER_SEEING.MAX_OK;PERC_WARN=" + std::to_string(row.maxOk * seeing) + ";" +
            std::to_string(row.percentWarning));
    EXPECT_EQ(rig.await("WEATHER_STATUS.WEATHER_SEEING", row.status), row.status) << row.maxOk;
  }
  EXPECT_NE(testing::readBytes(rig.server.home() / ".indi/Nebulor Seeing_config.xml").find("WEATHER_SEEING"),
            std::string::npos);
  rig.set("READINGS_TIMEOUT.SECONDS=1");
  EXPECT_EQ(rig.await("WEATHER_STATUS.WEATHER_SEEING", "Idle"), "Idle");
  EXPECT_EQ(rig.await("WEATHER_PARAMETERS._STATE", "Idle"), "Idle");
}

TEST(IndiWeather, TheCoherenceTimeAppearsWhenTheLogHasItsColumn) {
  Reading reading;
  reading.time = WallClock::now();
  reading.seeing = 1.5f;
  reading.r0 = 6.7;
  reading.best = 1.4;
  reading.tau0 = 3.25;
  DriverRig rig(std::string(kReadingsLogHeader) + "\r\n" + readingsLogRow(reading) + "\r\n");
  EXPECT_EQ(rig.await("WEATHER_PARAMETERS.WEATHER_TAU0", "3.25"), "3.25");
}

// Whatever the folder holds, the driver stays connected and shows no current value.
TEST(IndiWeather, SurvivesMissingFoldersAndHostileLogs) {
  DriverRig rig;
  const fs::path hostile = rig.folder / "hostile", corpus = NEBULOR_READINGS_CORPUS;
  const struct {
    const char* name;  // none: the folder is missing
    std::string bytes;
  } table[] = {{nullptr, ""},
               {kReadingsLogFileName, testing::readBytes(corpus / "torn.csv")},
               {kReadingsLogFileName, testing::readBytes(corpus / "demo-night.csv")},
               {kReadingsLogFileName, "a folder"},
               {kReadingsLogFileName, "a FIFO"},
               {"SeeingReadings-20261207-010203.csv", std::string(100000, '\0') + "\n,,\xff"}};
  for (const auto& row : table) {
    fs::remove_all(hostile);
    if (row.name != nullptr) {
      fs::create_directory(hostile);
      const fs::path at = hostile / row.name;
      if (row.bytes == "a folder") fs::create_directory(at);
      if (row.bytes == "a FIFO") ::mkfifo(at.c_str(), 0600);
      if (!row.bytes.starts_with("a ")) testing::writeBytes(at, row.bytes);
    }
    rig.set("READINGS_FOLDER.FOLDER=" + hostile.string());
    EXPECT_EQ(rig.await("WEATHER_STATUS.WEATHER_SEEING", "Idle"), "Idle") << row.bytes.substr(0, 40);
    EXPECT_EQ(rig.await("CONNECTION.CONNECT", "On"), "On");
  }
}

}  // namespace
}  // namespace nebulor
