#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace nebulor::testing {

// A stand-in INDI server on a loopback port, speaking just enough of the
// protocol for the backend: one CCD, connected, whose sensor size is
// whatever the test says (absurd values included), answering every exposure
// with the test's bytes as a FITS image. It runs on a thread of the test
// process, so it ends with the test however the test ends.
class FakeIndiServer {
 public:
  static constexpr const char* kDevice = "Fake CCD";

  // Instead of the image, until the client hangs up: nested elements, a BLOB announcing 500 MB, or 1 kB then
  // sending on.
  enum class Flood { none, nestedXml, announcedBlob, endlessBlob };

  FakeIndiServer(double sensorWidth, double sensorHeight, std::vector<std::uint8_t> image,
                 Flood flood = Flood::none);
  ~FakeIndiServer();
  FakeIndiServer(const FakeIndiServer&) = delete;
  FakeIndiServer& operator=(const FakeIndiServer&) = delete;

  int port() const { return port_; }
  // Bytes of the flood the client took before it dropped the connection.
  std::size_t floodSent() const { return floodSent_; }

 private:
  void serve();
  void serveClient(int client);
  void sendFlood(int client);

  std::string definitions_;
  std::string imageMessage_;
  int listener_ = -1;
  int port_ = 0;
  Flood flood_;
  std::atomic<std::size_t> floodSent_{0};
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace nebulor::testing
