#pragma once

#include <chrono>

namespace nebulor::camera::indi {

// Every wait on the INDI server ends after one of these.
struct IndiTimeouts {
  // Reaching the server, then its reporting the device: together within 5 s,
  // so start-up against a server that is down or silent says so in time.
  std::chrono::milliseconds connect{2500};
  std::chrono::milliseconds discover{2500};
  std::chrono::milliseconds reply{10000};  // linking, a new readout box, leaving Busy
  // Beyond the exposure time, for readout and transfer of the image.
  std::chrono::milliseconds imageMargin{30000};
};

}  // namespace nebulor::camera::indi
