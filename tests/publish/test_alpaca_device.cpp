#include <gtest/gtest.h>

#include <QJsonArray>
#include <QNetworkInterface>
#include <cmath>
#include <thread>

#include "AlpacaClient.h"
#include "DemoWithAlpaca.h"

namespace nebulor {
namespace {

using testing::AlpacaClient;
using testing::DemoWithAlpaca;

const std::string kDevice = "/api/v1/observingconditions/0/";

TEST(Alpaca, DiscoveryFindsTheDeviceThatTheManagementApiNames) {
  const DemoWithAlpaca demo;
  const AlpacaClient client(demo.port());
  EXPECT_TRUE(AlpacaClient::discover(8).contains(demo.port()));
  // Listening on the loopback only, it is not announced to the network, which could not reach it.
  for (const QHostAddress& network : QNetworkInterface::allAddresses()) {
    if (network.protocol() != QAbstractSocket::IPv4Protocol || network.isLoopback()) continue;
    EXPECT_FALSE(AlpacaClient::discover(3, network.toString().toLatin1().constData()).contains(demo.port()))
        << network.toString().toStdString();
  }
  EXPECT_TRUE(client.get("/management/apiversions").json["Value"].toArray().contains(1));
  const QJsonObject device =
      client.get("/management/v1/configureddevices").json["Value"].toArray()[0].toObject();
  EXPECT_EQ(device["DeviceType"].toString(), "ObservingConditions");
  EXPECT_EQ(device["DeviceNumber"].toInt(-1), 0);
  EXPECT_FALSE(
      client.get("/management/v1/description").json["Value"].toObject()["ServerName"].toString().isEmpty());
}

// In order: each row sees the device as the rows before left it.
TEST(Alpaca, MembersAnswerAsTheApiReferenceSays) {
  struct Row {
    const char* method;
    std::string member;
    std::string parameters;  // the query of a GET, the form of a PUT
    int status;              // HTTP
    int error;               // ErrorNumber
    QJsonValue value;        // undefined: not checked
  };
  const QJsonValue any(QJsonValue::Undefined);
  std::vector<Row> rows = {
      {"GET", "starfwhm", "", 200, 0x407, any},  // not connected yet
      {"PUT", "connected", "connected=True", 200, 0, any},
      {"GET", "connected", "", 200, 0, true},
      {"GET", "interfaceversion", "", 200, 0, 2},
      {"PUT", "averageperiod", "averageperiod=0.5", 200, 0, any},
      {"GET", "averageperiod", "", 200, 0, 0.5},
      {"PUT", "AveragePeriod", "AveragePeriod=-1", 400, 0, any},  // member names are lower case
      {"PUT", "averageperiod", "AVERAGEPERIOD=-1", 200, 0x401, any},
      {"PUT", "averageperiod", "AveragePeriod=NaN", 200, 0x401, any},
      {"PUT", "averageperiod", "AveragePeriod=half", 400, 0, any},
      {"GET", "averageperiod", "", 200, 0, 0.5},
      {"PUT", "averageperiod", "AveragePeriod=0", 200, 0, any},
      {"GET", "sensordescription", "SensorName=Humidity", 200, 0x400, any},
      {"GET", "sensordescription", "sensorname=StarFWHM", 200, 0, any},
      {"GET", "sensordescription", "", 400, 0, any},
      {"PUT", "refresh", "", 200, 0, any},
  };
  for (const char* sensor :
       {"cloudcover", "dewpoint", "humidity", "pressure", "rainrate", "skybrightness", "skyquality",
        "skytemperature", "temperature", "winddirection", "windgust", "windspeed"}) {
    rows.push_back({"GET", sensor, "", 200, 0x400, any});
  }
  const DemoWithAlpaca demo;
  const AlpacaClient client(demo.port());
  qint64 lastServerId = 0;
  qint64 clientId = 4000000000;  // near the top of the unsigned 32-bit range
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.method) + " " + row.member + " " + row.parameters);
    const std::string parameters = "ClientID=7&ClientTransactionID=" + std::to_string(++clientId) +
                                   (row.parameters.empty() ? "" : "&") + row.parameters;
    const AlpacaClient::Reply reply = std::string(row.method) == "GET"
                                          ? client.get(kDevice + row.member, parameters)
                                          : client.put(kDevice + row.member, parameters);
    EXPECT_EQ(reply.status, row.status);
    if (row.status != 200) continue;
    EXPECT_EQ(reply.json["ErrorNumber"].toInt(-1), row.error);
    EXPECT_EQ(reply.json["ErrorMessage"].toString().isEmpty(), row.error == 0);
    EXPECT_EQ(reply.json["ClientTransactionID"].toInteger(), clientId);
    EXPECT_GT(reply.json["ServerTransactionID"].toInteger(), lastServerId);
    lastServerId = reply.json["ServerTransactionID"].toInteger();
    if (!row.value.isUndefined()) {
      EXPECT_EQ(reply.json["Value"], row.value);
    }
  }
}

// ASCOM's StarFWHM is the FWHM of a long exposure at the zenith at 500 nm:
// 0.98 lambda / r0. The log's best estimate is lambda / r0 at the zenith at
// the configured wavelength, and lambda / r0 goes as lambda^(-1/5).
TEST(Alpaca, StarFwhmIsTheLoggedBestEstimateAtTheZenithAt500nm) {
  const DemoWithAlpaca demo;
  const AlpacaClient client(demo.port());
  client.put(kDevice + "connected", "Connected=true");
  EXPECT_EQ(client.get(kDevice + "timesincelastupdate", "SensorName=StarFWHM").json["ErrorNumber"].toInt(),
            0x402);
  ASSERT_TRUE(demo.waitForReadings(3));
  // A reading may land between reading the log and asking: ask again then.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const std::vector<double> before = demo.column("best_arcsec");
    const double value = client.get(kDevice + "starfwhm").json["Value"].toDouble();
    const double since =
        client.get(kDevice + "timesincelastupdate", "SensorName=StarFWHM").json["Value"].toDouble();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const double later =
        client.get(kDevice + "timesincelastupdate", "SensorName=StarFWHM").json["Value"].toDouble();
    if (demo.column("best_arcsec").size() != before.size() && attempt < 4) continue;
    EXPECT_NEAR(value, 0.98 * before.back() * std::pow(DemoWithAlpaca::kWavelength / 0.5, 0.2), 1e-9);
    EXPECT_GT(later, since);
    break;
  }
}

TEST(Alpaca, HostileClientsGetTheirErrorAndTheMeasurementGoesOn) {
  const DemoWithAlpaca demo;
  const AlpacaClient client(demo.port());
  client.put(kDevice + "connected", "Connected=true");
  ASSERT_TRUE(demo.waitForReadings(1));
  const auto manyAtOnce = [&client](int count) {
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) fds.push_back(client.connection());
    std::map<int, int> statuses;
    const std::string request = "GET " + kDevice + "name HTTP/1.1\r\nHost: localhost\r\n\r\n";
    for (const int fd : fds) ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    for (const int fd : fds) ++statuses[AlpacaClient::receive(fd).status], ::close(fd);
    return statuses;
  };
  const struct {
    const char* what;
    std::function<AlpacaClient::Reply()> send;
    int status;
  } rows[] = {
      {"a request line of 1 MB",
       [&] { return client.raw("GET /" + std::string(1 << 20, 'a') + " HTTP/1.1\r\n\r\n"); }, 413},
      {"a body that never ends",
       [&] {
         return client.raw("PUT " + kDevice + "averageperiod HTTP/1.1\r\nContent-Length: 999999999\r\n\r\n" +
                           std::string(1 << 20, '0'));
       },
       413},
      {"a slow client, silent after half a request (closed after 10 s)",
       [&] {
         const int fd = client.connection();
         ::send(fd, "GET / HTTP/1.1\r\n", 16, MSG_NOSIGNAL);
         const AlpacaClient::Reply reply = AlpacaClient::receive(fd);
         ::close(fd);
         return reply;
       },
       0},
      {"a reader that asks on and on and never reads (closed)",
       [&] {
         const int fd = client.connection();
         const std::string ask = "GET / HTTP/1.1\r\n\r\n";
         const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(12);
         while (::send(fd, ask.data(), ask.size(), MSG_NOSIGNAL) > 0 &&
                std::chrono::steady_clock::now() < end) {
         }
         ::close(fd);
         AlpacaClient::Reply closed;
         closed.status = std::chrono::steady_clock::now() < end ? 0 : -1;
         return closed;
       },
       0},
      {"a keep-alive connection gone quiet after its answer (closed before a request's 10 s)",
       [&] {
         const int fd = client.connection();
         ::send(fd, "GET / HTTP/1.1\r\n\r\n", 18, MSG_NOSIGNAL);
         AlpacaClient::receive(fd);
         const auto answered = std::chrono::steady_clock::now();
         AlpacaClient::receive(fd);
         ::close(fd);
         return AlpacaClient::Reply{
             std::chrono::steady_clock::now() - answered < std::chrono::seconds(9) ? 0 : -1};
       },
       0},
      {"AveragePeriod not a number",
       [&] { return client.put(kDevice + "averageperiod", "AveragePeriod=1e"); }, 400},
      {"device number 1", [&] { return client.get("/api/v1/observingconditions/1/starfwhm"); }, 400},
      {"device type camera", [&] { return client.get("/api/v1/camera/0/starfwhm"); }, 400},
      {"a path with ..", [&] { return client.get(kDevice + "../../../../etc/passwd"); }, 400},
      {"a path with .. from the top", [&] { return client.get("/../setup"); }, 404},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(row.send().status, row.status);
  }
  const std::map<int, int> statuses = manyAtOnce(200);
  EXPECT_EQ(statuses.at(200) + statuses.at(503), 200);
  EXPECT_LE(statuses.at(200), 32);
  EXPECT_TRUE(demo.waitForReadings(demo.column("seeing_arcsec").size() + 2));  // the measurement went on
  EXPECT_EQ(client.get(kDevice + "name").json["Value"].toString(), "Nebulor");
  EXPECT_EQ(demo.errors().find("QIODevice"), std::string::npos) << demo.errors();
}

// Requests from one address holding all the connections it may have, each
// half sent: the others are served, it gets no more. (127.0.0.3: the rig's
// start-up probe came from 127.0.0.1 and may not be closed yet.)
TEST(Alpaca, OneAddressHoldingItsConnectionsLeavesTheOthersServed) {
  const DemoWithAlpaca demo;
  std::vector<int> held;
  for (int i = 0; i < 40; ++i) {
    held.push_back(AlpacaClient(demo.port(), "127.0.0.3").connection());
    ::send(held.back(), "GET / HTTP/1.1\r\n", 16, MSG_NOSIGNAL);
  }
  const std::pair<const char*, int> rows[] = {{"127.0.0.2", 200}, {"127.0.0.1", 200}, {"127.0.0.3", 503}};
  for (const auto& [from, status] : rows) {
    EXPECT_EQ(AlpacaClient(demo.port(), from).get(kDevice + "name").status, status) << from;
  }
  for (const int fd : held) ::close(fd);
}

}  // namespace
}  // namespace nebulor
