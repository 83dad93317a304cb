#pragma once

#include <string>

namespace nebulor::camera::indi {

// Where the INDI server is and which of its devices to drive, from the text
// after "indi:" of --camera:
//   HOST:PORT[:CCD[:MOUNT]]   a TCP server (empty fields take the defaults)
//   /PATH[:CCD[:MOUNT]]       a local server's unix socket (indiserver -u PATH)
// An empty CCD or MOUNT means the first camera or telescope the server reports.
struct IndiOptions {
  static constexpr int kDefaultPort = 7624;

  std::string host = "localhost";
  int port = kDefaultPort;
  std::string socketPath;  // non-empty: connect through this unix socket instead of TCP
  std::string ccd;
  std::string mount;
  bool tcpNoDelay = true;  // send small requests at once over TCP (not part of the option text)

  // "localhost:7624" or "unix socket /tmp/indi", for messages.
  std::string serverText() const;
};

// Throws AutomationError with a one-line reason when the text is malformed.
IndiOptions parseIndiOptions(const std::string& text);

}  // namespace nebulor::camera::indi
