#pragma once

#include <memory>
#include <string>

#include "camera/Automation.h"
#include "camera/indi/IndiConnection.h"

namespace nebulor::camera::indi {

// The imaging application's telescope link on an INDI server. Linking
// connects the mount device; a server without a telescope throws, a mount
// that refuses or does not answer in time reads back as not connected.
// Once linked, the server's cameras are pointed at this mount, so their
// FITS headers carry its focal length and altitude.
class IndiApplication : public Application {
 public:
  explicit IndiApplication(std::shared_ptr<IndiConnection> connection);

  void setTelescopeConnected(bool connected) override;
  bool telescopeConnected() override;
  // The camera driver and the server: the driver is told which telescope to follow.
  std::string name() override;

 private:
  void pointCamerasAtMount();

  std::shared_ptr<IndiConnection> connection_;
  std::string mount_;  // empty until a link was asked for
};

}  // namespace nebulor::camera::indi
