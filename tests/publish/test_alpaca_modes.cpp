#include <gtest/gtest.h>

#include <csignal>

#include "AlpacaClient.h"
#include "core/StarFwhm.h"
#include "measure/ReadingsReader.h"
#include "support/ProgramProcess.h"
#include "support/RawLogRows.h"
#include "support/TempFolder.h"

namespace nebulor {
namespace {

using testing::AlpacaClient;

// Every way of running Nebulor serves every route of the device and the live
// page, its chart included (drawn without a display where there is none),
// goes on measuring meanwhile, and ends with status 0 on a stop signal.
TEST(AlpacaInEveryMode, EveryRouteAnswersAndTheRunGoesOn) {
  const struct {
    const char* mode;
    std::vector<std::string> args;
    std::vector<std::string> environment;
    bool measures;
  } modes[] = {
      {"window", {}, {"QT_QPA_PLATFORM=offscreen"}, false},
      {"demo", {"--demo", "--readings", "0"}, {}, true},
      {"headless", {"--headless"}, {}, true},
  };
  const char* routes[] = {"/",
                          "/status.json",
                          "/chart.png",
                          "/chart.png?palette=night",
                          "/setup",
                          "/management/apiversions",
                          "/management/v1/description",
                          "/management/v1/configureddevices",
                          "/api/v1/observingconditions/0/connected",
                          "/api/v1/observingconditions/0/description",
                          "/api/v1/observingconditions/0/devicestate",
                          "/api/v1/observingconditions/0/averageperiod",
                          "/api/v1/observingconditions/0/starfwhm",
                          "/api/v1/observingconditions/0/timesincelastupdate?SensorName=StarFWHM",
                          "/api/v1/observingconditions/0/sensordescription?SensorName=StarFWHM",
                          "/api/v1/observingconditions/0/humidity"};
  for (const auto& m : modes) {
    SCOPED_TRACE(m.mode);
    const testing::TempFolder temp;
    const int port = testing::freeTcpPort();
    std::vector<std::string> args = m.args;
    for (const char* arg : {"--camera", "sim:timing=realtime", "--alpaca"}) args.emplace_back(arg);
    args.push_back(std::to_string(port));
    args.emplace_back("--alpaca-bind");
    args.emplace_back("127.0.0.1");
    testing::ProgramProcess program(NEBULOR_EXECUTABLE, temp.path(), args, m.environment);
    const AlpacaClient client(port);
    for (int i = 0; i < 300 && client.get("/management/apiversions").status != 200; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (int i = 0; m.measures && i < 600 && testing::rawLogRows(temp.read("SeeingReadings.csv")).empty();
         ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    for (const char* route : routes) {
      const std::string path(route);
      const std::size_t query = path.find('?');
      const AlpacaClient::Reply reply =
          client.get(path.substr(0, query), query == std::string::npos ? "" : path.substr(query + 1));
      EXPECT_EQ(reply.status, 200) << route;
    }
    EXPECT_EQ(program.wait(std::chrono::milliseconds(500)), std::nullopt) << program.error();
    program.signal(SIGTERM);
    EXPECT_EQ(program.wait(std::chrono::seconds(20)), 0) << program.error();
    EXPECT_EQ(program.error().find("QIODevice"), std::string::npos) << program.error();
  }
}

// A restart in mid-night: the live page counts, and StarFWHM averages, the
// night's readings from the log, those of the run before included.
TEST(AlpacaAcrossRestarts, TheLivePageAndStarFwhmShowTheWholeNightOfTheLog) {
  const testing::TempFolder temp;
  const std::vector<std::string> camera = {"--camera", "sim:timing=instant"};
  std::vector<std::string> before = {"--headless", "--readings", "3"};
  before.insert(before.end(), camera.begin(), camera.end());
  ASSERT_EQ(testing::ProgramProcess(NEBULOR_EXECUTABLE, temp.path(), before).wait(std::chrono::seconds(60)),
            0);
  const int port = testing::freeTcpPort();
  std::vector<std::string> after = {"--headless", "--alpaca", std::to_string(port), "--alpaca-bind",
                                    "127.0.0.1",  "--camera", "sim:timing=realtime"};
  testing::ProgramProcess program(NEBULOR_EXECUTABLE, temp.path(), after);
  const AlpacaClient client(port);
  for (int i = 0; i < 300 && client.get("/management/apiversions").status != 200; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const std::string device = "/api/v1/observingconditions/0/";
  client.put(device + "connected", "Connected=true");
  client.put(device + "averageperiod", "AveragePeriod=24");
  // Read until no reading lands between the answers and the log.
  for (int tries = 0; tries < 20; ++tries) {
    const int counted = client.get("/status.json").json["readings"].toInt();
    const double average = client.get(device + "starfwhm").json["Value"].toDouble();
    ReadingsReader log;
    ASSERT_FALSE(log.readNew(temp.file("SeeingReadings.csv")));
    if (client.get("/status.json").json["readings"].toInt() != counted ||
        log.readings().size() != static_cast<std::size_t>(counted))
      continue;
    ASSERT_GE(counted, 3);
    EXPECT_NEAR(average, *meanStarFwhm(log.readings()), 1e-9);
    program.signal(SIGTERM);
    EXPECT_EQ(program.wait(std::chrono::seconds(20)), 0) << program.error();
    return;
  }
  ADD_FAILURE() << "the live page never counted the log's readings: " << program.error();
}

}  // namespace
}  // namespace nebulor
