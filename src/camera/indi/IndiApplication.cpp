#include "camera/indi/IndiApplication.h"

#include <utility>
#include <vector>

namespace nebulor::camera::indi {

IndiApplication::IndiApplication(std::shared_ptr<IndiConnection> connection)
    : connection_(std::move(connection)) {}

void IndiApplication::setTelescopeConnected(bool connected) {
  if (!connected) {
    if (telescopeConnected()) connection_->setDeviceConnected(mount_, false);
    return;
  }
  connection_->ensureConnected();
  mount_ = connection_->findDevice(connection_->options().mount, kTelescopeInterface, "telescope");
  if (connection_->linkDevice(mount_)) pointCamerasAtMount();
}

bool IndiApplication::telescopeConnected() {
  if (mount_.empty()) return false;
  return connection_->read([&](const IndiSnapshot& snapshot) {
    const IndiDevice* device = snapshot.device(mount_);
    return snapshot.serverConnected && device != nullptr && device->connected();
  });
}

std::string IndiApplication::name() {
  std::string ccd = connection_->options().ccd;
  if (ccd.empty()) {
    ccd = connection_->read([](const IndiSnapshot& snapshot) {
      for (const auto& device : snapshot.deviceOrder) {
        if ((snapshot.devices.at(device).interfaces() & kCcdInterface) != 0) return device;
      }
      return std::string();
    });
  }
  const std::string driver = ccd.empty() ? "the INDI camera driver" : "the INDI driver \"" + ccd + "\"";
  return driver + " on server " + connection_->options().serverText();
}

void IndiApplication::pointCamerasAtMount() {
  const auto cameras = connection_->read([&](const IndiSnapshot& snapshot) {
    std::vector<std::string> names;
    for (const auto& [name, device] : snapshot.devices) {
      const IndiProperty* active = device.property("ACTIVE_DEVICES");
      if ((device.interfaces() & kCcdInterface) == 0 || active == nullptr) continue;
      // Sent even when the snapshot shows this mount already: it may lag behind the server.
      if (active->texts.contains("ACTIVE_TELESCOPE")) names.push_back(name);
    }
    return names;
  });
  for (const auto& camera : cameras)
    connection_->sendText(camera, "ACTIVE_DEVICES", "ACTIVE_TELESCOPE", mount_);
}

}  // namespace nebulor::camera::indi
