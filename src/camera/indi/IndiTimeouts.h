#pragma once

#include <chrono>

namespace nebulor::camera::indi {

// Every wait on the INDI server ends after one of these.
struct IndiTimeouts {
  std::chrono::milliseconds connect{5000};  // reaching the server
  std::chrono::milliseconds reply{10000};   // a device being reported, linking, leaving Busy
  // Beyond the exposure time, for readout and transfer of the image.
  std::chrono::milliseconds imageMargin{30000};
};

}  // namespace nebulor::camera::indi
