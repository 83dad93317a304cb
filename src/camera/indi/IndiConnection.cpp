#include "camera/indi/IndiConnection.h"

#include <libindi/baseclient.h>
#include <libindi/basedevice.h>

#include <algorithm>

#include "camera/Automation.h"
#include "camera/indi/TcpNoDelay.h"

namespace nebulor::camera::indi {

namespace {

constexpr const char* kImageProperty = "CCD1";  // the primary chip's images

PropertyStatus statusOf(IPState state) {
  switch (state) {
    case IPS_OK:
      return PropertyStatus::ok;
    case IPS_BUSY:
      return PropertyStatus::busy;
    case IPS_ALERT:
      return PropertyStatus::alert;
    case IPS_IDLE:
      break;
  }
  return PropertyStatus::idle;
}

void copyValues(INDI::Property property, IndiProperty& into) {
  into.status = statusOf(property.getState());
  switch (property.getType()) {
    case INDI_NUMBER:
      for (const auto& element : INDI::PropertyNumber(property))
        into.numbers[element.getName()] = element.getValue();
      break;
    case INDI_SWITCH:
      for (const auto& element : INDI::PropertySwitch(property)) {
        into.switches[element.getName()] = element.getState() == ISS_ON;
      }
      break;
    case INDI_TEXT:
      for (const auto& element : INDI::PropertyText(property))
        into.texts[element.getName()] = element.getText();
      break;
    default:
      break;  // lights and BLOBs: only the state matters here
  }
}

std::string deviceList(const IndiSnapshot& snapshot) {
  if (snapshot.deviceOrder.empty()) return "none";
  std::string list;
  for (const auto& name : snapshot.deviceOrder) list += (list.empty() ? "" : ", ") + name;
  return list;
}

// The decoded image of one BLOB, or why it could not be decoded.
IndiImage decodeBlob(const INDI::WidgetView<IBLOB>& blob) {
  IndiImage decoded;
  const std::string format = blob.getFormat();
  if (format != ".fits") {
    decoded.error = "The camera sent a \"" + format + "\" image; Nebulor reads FITS images only";
    return decoded;
  }
  try {
    decoded.image = std::make_shared<const FitsImage>(
        readFitsImage(blob.getBlob(), static_cast<std::size_t>(std::max(blob.getBlobLen(), 0))));
  } catch (const AutomationError& error) {
    decoded.error = error.what();
  }
  return decoded;
}

}  // namespace

// libindi's client. Its callbacks run on libindi's thread: they only copy
// into the snapshot under the lock and wake the waiters.
class IndiConnection::Client : public INDI::BaseClient {
 public:
  explicit Client(IndiConnection& owner) : owner_(owner) {}

  void newDevice(INDI::BaseDevice device) override {
    change([&](IndiSnapshot& snapshot) {
      const std::string name = device.getDeviceName();
      if (snapshot.devices.try_emplace(name).second) snapshot.deviceOrder.push_back(name);
    });
  }

  void removeDevice(INDI::BaseDevice device) override {
    change([&](IndiSnapshot& snapshot) {
      const std::string name = device.getDeviceName();
      snapshot.devices.erase(name);
      std::erase(snapshot.deviceOrder, name);
    });
  }

  void newProperty(INDI::Property property) override { store(property); }

  void updateProperty(INDI::Property property) override {
    if (property.getType() == INDI_BLOB && property.isNameMatch(kImageProperty)) storeImage(property);
    store(property);
  }

  void removeProperty(INDI::Property property) override {
    change([&](IndiSnapshot& snapshot) {
      const auto device = snapshot.devices.find(property.getDeviceName());
      if (device != snapshot.devices.end()) device->second.properties.erase(property.getName());
    });
  }

  void newMessage(INDI::BaseDevice device, int messageId) override {
    const std::string text = device.messageQueue(messageId);
    change([&](IndiSnapshot& snapshot) {
      const auto found = snapshot.devices.find(device.getDeviceName());
      if (found != snapshot.devices.end()) found->second.lastMessage = text;
    });
  }

  void serverConnected() override {
    change([](IndiSnapshot& snapshot) { snapshot.serverConnected = true; });
  }

  // Devices and images are forgotten: after a reconnection the server reports them afresh.
  void serverDisconnected(int) override {
    change([](IndiSnapshot& snapshot) { snapshot = IndiSnapshot{}; });
  }

 private:
  template <class Change>
  void change(Change&& apply) {
    {
      std::lock_guard lock(owner_.mutex_);
      apply(owner_.snapshot_);
    }
    owner_.changed_.notify_all();
  }

  void store(INDI::Property property) {
    IndiProperty values;
    copyValues(property, values);
    change([&](IndiSnapshot& snapshot) {
      const auto device = snapshot.devices.find(property.getDeviceName());
      if (device == snapshot.devices.end()) return;
      IndiProperty& stored = device->second.properties[property.getName()];
      values.updates = stored.updates + 1;
      stored = std::move(values);
    });
  }

  // Decoding happens here, outside the lock, so the user-interface thread
  // never waits for it.
  void storeImage(INDI::Property property) {
    INDI::PropertyBlob blobs(property);
    for (const auto& blob : blobs) {
      if (blob.getBlobLen() <= 0) continue;
      IndiImage decoded = decodeBlob(blob);
      change([&](IndiSnapshot& snapshot) {
        IndiImage& latest = snapshot.images[property.getDeviceName()];
        decoded.sequence = latest.sequence + 1;
        latest = std::move(decoded);
      });
    }
  }

  IndiConnection& owner_;
};

IndiConnection::IndiConnection(IndiOptions options, IndiTimeouts timeouts)
    : options_(std::move(options)), timeouts_(timeouts), client_(std::make_unique<Client>(*this)) {
  if (options_.socketPath.empty()) {
    client_->setServer(options_.host.c_str(), static_cast<unsigned>(options_.port));
  } else {
    // libindi reaches a unix socket through this host form.
    client_->setServer(("localhost:" + options_.socketPath).c_str(), 0);
  }
}

IndiConnection::~IndiConnection() {
  if (client_->isServerConnected()) client_->disconnectServer();
}

void IndiConnection::ensureConnected() {
  if (read([](const IndiSnapshot& snapshot) { return snapshot.serverConnected; })) return;
  // A connection that died keeps libindi's connected flag: start afresh.
  if (client_->isServerConnected()) client_->disconnectServer();
  const auto milliseconds = timeouts_.connect.count();
  client_->setConnectionTimeout(static_cast<std::uint32_t>(milliseconds / 1000),
                                static_cast<std::uint32_t>(milliseconds % 1000 * 1000));
  if (!client_->connectServer()) {
    throw AutomationError("Cannot reach the INDI server at " + options_.serverText() +
                          " (is indiserver running?)");
  }
  if (options_.socketPath.empty() && options_.tcpNoDelay) setTcpNoDelayTowards(options_.port);
}

std::string IndiConnection::findDevice(const std::string& requested, std::uint32_t interfaceBit,
                                       const std::string& kind) const {
  std::string found;
  const auto pick = [&](const IndiSnapshot& snapshot) {
    if (!requested.empty()) {
      // Usable once its driver has said what it is.
      const IndiDevice* device = snapshot.device(requested);
      if (device != nullptr && device->property("DRIVER_INFO") != nullptr) found = requested;
      return !found.empty();
    }
    for (const auto& name : snapshot.deviceOrder) {
      if ((snapshot.devices.at(name).interfaces() & interfaceBit) != 0) {
        found = name;
        return true;
      }
    }
    return false;
  };
  waitUntil(pick, timeouts_.reply);
  // A driver too old to say what it is is taken at its name.
  if (found.empty() && !requested.empty() &&
      read([&](const IndiSnapshot& snapshot) { return snapshot.device(requested) != nullptr; })) {
    found = requested;
  }
  if (!found.empty()) {
    const std::uint32_t bits = read([&](const IndiSnapshot& snapshot) {
      const IndiDevice* device = snapshot.device(found);
      return device == nullptr ? 0 : device->interfaces();
    });
    if (bits != 0 && (bits & interfaceBit) == 0) {
      throw AutomationError("The INDI device \"" + found + "\" at " + options_.serverText() + " is not a " +
                            kind);
    }
    return found;
  }
  const std::string devices = read(deviceList);
  if (!read([](const IndiSnapshot& snapshot) { return snapshot.serverConnected; })) {
    throw AutomationError("Lost the connection to the INDI server at " + options_.serverText());
  }
  if (requested.empty()) {
    throw AutomationError("The INDI server at " + options_.serverText() + " reports no " + kind +
                          " (devices: " + devices + ")");
  }
  throw AutomationError("The INDI server at " + options_.serverText() + " has no device \"" + requested +
                        "\" (devices: " + devices + ")");
}

bool IndiConnection::linkDevice(const std::string& device) {
  const auto linked = [&](const IndiSnapshot& snapshot) {
    const IndiDevice* found = snapshot.device(device);
    return snapshot.serverConnected && found != nullptr && found->connected();
  };
  const auto connectionUpdates = [&](const IndiSnapshot& snapshot) -> std::uint64_t {
    const IndiDevice* found = snapshot.device(device);
    const IndiProperty* connection = found == nullptr ? nullptr : found->property("CONNECTION");
    return connection == nullptr ? 0 : connection->updates;
  };
  if (read(linked)) return true;
  const std::uint64_t before = read(connectionUpdates);
  setDeviceConnected(device, true);
  // Done when linked, gone, or refused (CONNECTION reported in Alert after the request).
  waitUntil(
      [&](const IndiSnapshot& snapshot) {
        const IndiDevice* found = snapshot.device(device);
        if (linked(snapshot) || found == nullptr) return true;
        const IndiProperty* connection = found->property("CONNECTION");
        return connection != nullptr && connection->updates > before &&
               connection->status == PropertyStatus::alert;
      },
      timeouts_.reply);
  return read(linked);
}

void IndiConnection::setDeviceConnected(const std::string& device, bool connected) {
  sendSwitch(device, "CONNECTION", connected ? "CONNECT" : "DISCONNECT");
}

// Requests are built as detached properties, so the main thread never writes
// into the properties libindi's thread is updating.
void IndiConnection::sendNumbers(const std::string& device, const std::string& property,
                                 const std::vector<std::pair<std::string, double>>& values) {
  INDI::PropertyNumber request(values.size());
  request.setDeviceName(device.c_str());
  request.setName(property.c_str());
  for (std::size_t i = 0; i < values.size(); ++i) {
    request[i].setName(values[i].first.c_str());
    request[i].setValue(values[i].second);
  }
  client_->sendNewNumber(request);
}

void IndiConnection::sendSwitch(const std::string& device, const std::string& property,
                                const std::string& element) {
  INDI::PropertySwitch request(1);
  request.setDeviceName(device.c_str());
  request.setName(property.c_str());
  request[0].setName(element.c_str());
  request[0].setState(ISS_ON);
  client_->sendNewSwitch(request);
}

void IndiConnection::sendText(const std::string& device, const std::string& property,
                              const std::string& element, const std::string& text) {
  INDI::PropertyText request(1);
  request.setDeviceName(device.c_str());
  request.setName(property.c_str());
  request[0].setName(element.c_str());
  request[0].setText(text.c_str());
  client_->sendNewText(request);
}

void IndiConnection::enableImages(const std::string& device) {
  client_->setBLOBMode(B_ALSO, device.c_str(), kImageProperty);
}

}  // namespace nebulor::camera::indi
