#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "camera/indi/IndiOptions.h"
#include "camera/indi/IndiStreamGuard.h"

namespace nebulor::camera::indi {

// Stands between the INDI server and libindi's client, so that what the
// server sends is checked by an IndiStreamGuard before libindi parses it.
// The relay reaches the server itself and offers libindi a local socket in
// the abstract namespace (nothing on disk). A message beyond the guard's
// bounds drops both connections; refused(reason) says why, before libindi
// sees the connection end.
class IndiRelay {
 public:
  IndiRelay(std::function<std::size_t()> messageLimit, std::function<void(const std::string&)> refused);
  ~IndiRelay();
  IndiRelay(const IndiRelay&) = delete;
  IndiRelay& operator=(const IndiRelay&) = delete;

  // Reaches the server within the time limit. Returns the local socket's
  // name for libindi ("localhost:NAME"), or nothing when the server cannot be reached.
  std::optional<std::string> open(const IndiOptions& server, std::chrono::milliseconds timeout);
  // Once libindi has connected to that name: starts passing the bytes on.
  void start();
  void close();

 private:
  void relay();

  std::function<std::size_t()> messageLimit_;
  std::function<void(const std::string&)> refused_;
  int server_ = -1;
  int listener_ = -1;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace nebulor::camera::indi
