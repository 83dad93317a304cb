#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace nebulor::camera::indi {

class IndiConnection;

// The wire under an IndiConnection: libindi's client in the program, a fake
// in tests. Requests go out through it; what the server says comes back as
// changes of the connection's snapshot (IndiConnection::update), on a thread
// of the transport's own.
class IndiTransport {
 public:
  virtual ~IndiTransport() = default;

  // Reaches the server within the time limit; false when it cannot.
  virtual bool connect(std::chrono::milliseconds timeout) = 0;
  // The transport's own flag: it can stay set after the connection died.
  virtual bool connected() = 0;
  virtual void disconnect() = 0;

  virtual void sendNumbers(const std::string& device, const std::string& property,
                           const std::vector<std::pair<std::string, double>>& values) = 0;
  virtual void sendSwitch(const std::string& device, const std::string& property,
                          const std::string& element) = 0;
  virtual void sendText(const std::string& device, const std::string& property, const std::string& element,
                        const std::string& text) = 0;
  // Asks for the images of the device's primary chip to be sent to this client.
  virtual void enableImages(const std::string& device) = 0;
};

// libindi's client for the connection's server, feeding its snapshot.
std::unique_ptr<IndiTransport> makeLibIndiTransport(IndiConnection& connection);

}  // namespace nebulor::camera::indi
