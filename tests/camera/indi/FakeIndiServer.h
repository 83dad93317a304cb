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

  FakeIndiServer(double sensorWidth, double sensorHeight, std::vector<std::uint8_t> image);
  ~FakeIndiServer();
  FakeIndiServer(const FakeIndiServer&) = delete;
  FakeIndiServer& operator=(const FakeIndiServer&) = delete;

  int port() const { return port_; }

 private:
  void serve();
  void serveClient(int client);

  std::string definitions_;
  std::string imageMessage_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace nebulor::testing
