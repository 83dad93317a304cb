#include "camera/indi/IndiConnection.h"

#include "camera/Automation.h"
#include "camera/indi/TcpNoDelay.h"
#include "core/EventWait.h"

namespace nebulor::camera::indi {

namespace {

std::string deviceList(const IndiSnapshot& snapshot) {
  if (snapshot.deviceOrder.empty()) return "none";
  std::string list;
  for (const auto& name : snapshot.deviceOrder) list += (list.empty() ? "" : ", ") + name;
  return list;
}

}  // namespace

IndiConnection::IndiConnection(IndiOptions options, IndiTimeouts timeouts,
                               const TransportMaker& makeTransport)
    : options_(std::move(options)), timeouts_(timeouts), transport_(makeTransport(*this)) {}

IndiConnection::~IndiConnection() = default;

void IndiConnection::update(const std::function<void(IndiSnapshot&)>& change) {
  {
    std::lock_guard lock(mutex_);
    change(snapshot_);
  }
  changed_.notify_all();
}

void IndiConnection::setEventPump(EventPump* pump, std::function<bool()> abandon) {
  pump_ = pump;
  abandon_ = std::move(abandon);
}

bool IndiConnection::pumpedWait(const std::function<bool()>& ready, std::chrono::milliseconds timeout) const {
  WaitRules rules;
  rules.interval = kQuickPollInterval;
  rules.abandon = abandon_;
  rules.timeout = timeout;
  switch (waitFor(*pump_, ready, rules)) {
    case WaitEnd::ready:
      return true;
    case WaitEnd::timedOut:
      return false;
    case WaitEnd::abandoned:
      break;
  }
  throw WaitAbandoned();
}

void IndiConnection::ensureConnected() {
  if (read([](const IndiSnapshot& snapshot) { return snapshot.serverConnected; })) return;
  // A connection that died keeps the transport's connected flag: start afresh.
  if (transport_->connected()) transport_->disconnect();
  if (!transport_->connect(timeouts_.connect)) {
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
  waitUntil(pick, timeouts_.discover);
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
    throw AutomationError(lostConnection());
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
  const bool answered = waitUntil(
      [&](const IndiSnapshot& snapshot) {
        const IndiDevice* found = snapshot.device(device);
        if (linked(snapshot) || found == nullptr) return true;
        const IndiProperty* connection = found->property("CONNECTION");
        return connection != nullptr && connection->updates > before &&
               connection->status == PropertyStatus::alert;
      },
      timeouts_.reply);
  if (!answered) {
    throw AutomationError(
        "The INDI device \"" + device + "\" at " + options_.serverText() +
        " did not confirm CONNECT within " +
        std::to_string(std::chrono::duration_cast<std::chrono::seconds>(timeouts_.reply).count()) + " s");
  }
  return read(linked);
}

void IndiConnection::setDeviceConnected(const std::string& device, bool connected) {
  sendSwitch(device, "CONNECTION", connected ? "CONNECT" : "DISCONNECT");
}

void IndiConnection::sendNumbers(const std::string& device, const std::string& property,
                                 const std::vector<std::pair<std::string, double>>& values) {
  transport_->sendNumbers(device, property, values);
}

void IndiConnection::sendSwitch(const std::string& device, const std::string& property,
                                const std::string& element) {
  transport_->sendSwitch(device, property, element);
}

void IndiConnection::sendText(const std::string& device, const std::string& property,
                              const std::string& element, const std::string& text) {
  transport_->sendText(device, property, element, text);
}

void IndiConnection::enableImages(const std::string& device) { transport_->enableImages(device); }

void IndiConnection::setFrameQueue(const std::string& device, std::shared_ptr<IndiFrameQueue> queue) {
  std::lock_guard lock(mutex_);
  if (queue == nullptr) {
    frameQueues_.erase(device);
  } else {
    frameQueues_[device] = std::move(queue);
  }
}

std::shared_ptr<IndiFrameQueue> IndiConnection::frameQueue(const std::string& device) const {
  std::lock_guard lock(mutex_);
  const auto found = frameQueues_.find(device);
  return found == frameQueues_.end() ? nullptr : found->second;
}

std::string IndiConnection::lostConnection() const {
  const std::string dropped = read([](const IndiSnapshot& snapshot) { return snapshot.dropped; });
  return "Lost the connection to the INDI server at " + options_.serverText() +
         (dropped.empty() ? "" : ": it " + dropped + ", so Nebulor dropped the connection");
}

}  // namespace nebulor::camera::indi
