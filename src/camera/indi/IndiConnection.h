#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "camera/indi/IndiFrameQueue.h"
#include "camera/indi/IndiOptions.h"
#include "camera/indi/IndiSnapshot.h"
#include "camera/indi/IndiTimeouts.h"
#include "camera/indi/IndiTransport.h"
#include "core/EventPump.h"

namespace nebulor::camera::indi {

// Driver interface bits of INDI's DRIVER_INFO.
inline constexpr std::uint32_t kTelescopeInterface = 1u << 0;
inline constexpr std::uint32_t kCcdInterface = 1u << 1;

// One client connection to an INDI server, shared by the camera and the
// application objects. The transport (libindi) delivers what the server says
// on a thread of its own; the connection keeps it in an IndiSnapshot under a
// lock, so the user-interface thread only reads snapshots and waits on them,
// always with a time limit. Nothing here touches a widget.
//
// Once the window is shown it hands over an event pump: from then on every
// wait polls every 10 ms and lets the window dispatch its events in between,
// so the window never locks up, and a stop click or a close (abandon())
// ends the wait at once with WaitAbandoned.
class IndiConnection {
 public:
  using TransportMaker = std::function<std::unique_ptr<IndiTransport>(IndiConnection&)>;

  IndiConnection(IndiOptions options, IndiTimeouts timeouts,
                 const TransportMaker& makeTransport = makeLibIndiTransport);
  ~IndiConnection();
  IndiConnection(const IndiConnection&) = delete;
  IndiConnection& operator=(const IndiConnection&) = delete;

  const IndiOptions& options() const { return options_; }
  const IndiTimeouts& timeouts() const { return timeouts_; }

  // Connects unless the server is connected; throws AutomationError when it
  // cannot be reached in time.
  void ensureConnected();

  // Runs read(snapshot) under the lock and returns its result.
  template <class Read>
  auto read(Read&& reader) const {
    std::lock_guard lock(mutex_);
    return reader(snapshot_);
  }

  // A change of what the server has said, from the transport's thread.
  void update(const std::function<void(IndiSnapshot&)>& change);

  // The window's event pump and what ends a wait early; nullptr: waits block.
  void setEventPump(EventPump* pump, std::function<bool()> abandon);

  // Waits until done(snapshot) holds; false when the time is up first.
  // Throws WaitAbandoned when the pump's window closes or abandon() holds.
  template <class Done>
  bool waitUntil(Done&& done, std::chrono::milliseconds timeout) const {
    if (pump_ != nullptr) return pumpedWait([&] { return read(done); }, timeout);
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done(snapshot_); });
  }

  // The device to drive: `requested`, or when that is empty the first device
  // whose driver has `interfaceBit`. Waits for the server to report it and
  // throws AutomationError naming what the server has when it does not.
  std::string findDevice(const std::string& requested, std::uint32_t interfaceBit,
                         const std::string& kind) const;

  // Asks the device to connect to its hardware and waits for its answer:
  // true when it reports itself connected, false when it refuses or goes.
  // Throws AutomationError naming the device when no answer comes in time.
  bool linkDevice(const std::string& device);

  // Requests sent to the server; the replies arrive in the snapshot.
  void setDeviceConnected(const std::string& device, bool connected);
  void sendNumbers(const std::string& device, const std::string& property,
                   const std::vector<std::pair<std::string, double>>& values);
  void sendSwitch(const std::string& device, const std::string& property, const std::string& element);
  void sendText(const std::string& device, const std::string& property, const std::string& element,
                const std::string& text);
  // Asks for the images of the device's primary chip to be sent to this client.
  void enableImages(const std::string& device);

  // The device's stream frames go to `queue` from now on; nullptr: nowhere.
  void setFrameQueue(const std::string& device, std::shared_ptr<IndiFrameQueue> queue);
  // Where the device's stream frames go, from the transport's thread; nullptr: nowhere.
  std::shared_ptr<IndiFrameQueue> frameQueue(const std::string& device) const;

  // "Lost the connection to the INDI server at ...", with the reason when
  // Nebulor dropped it itself.
  std::string lostConnection() const;

 private:
  bool pumpedWait(const std::function<bool()>& ready, std::chrono::milliseconds timeout) const;

  IndiOptions options_;
  IndiTimeouts timeouts_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  IndiSnapshot snapshot_;
  std::map<std::string, std::shared_ptr<IndiFrameQueue>> frameQueues_;  // by device, under mutex_
  EventPump* pump_ = nullptr;
  std::function<bool()> abandon_;
  std::unique_ptr<IndiTransport> transport_;  // last: its thread stops before the members above go
};

}  // namespace nebulor::camera::indi
