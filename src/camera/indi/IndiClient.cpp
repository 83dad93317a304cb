#include <libindi/baseclient.h>
#include <libindi/basedevice.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "camera/Automation.h"
#include "camera/indi/IndiConnection.h"
#include "camera/indi/IndiRelay.h"
#include "camera/indi/IndiTransport.h"
#include "camera/indi/StreamDecoder.h"

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
  } catch (...) {  // nothing may leave libindi's thread: it would end the program
    decoded.error = "The camera's image could not be decoded";
  }
  return decoded;
}

// libindi's client. Its callbacks run on libindi's thread: they only copy
// into the snapshot under the connection's lock and wake the waiters.
class LibIndiTransport : public IndiTransport, public INDI::BaseClient {
 public:
  explicit LibIndiTransport(IndiConnection& owner)
      : owner_(owner),
        relay_([this] { return messageLimit(); },
               [this](const std::string& reason) {
                 change([&](IndiSnapshot& snapshot) { snapshot.dropped = reason; });
               }) {}

  ~LibIndiTransport() override {
    if (isServerConnected()) disconnectServer();
    relay_.close();
  }

  // libindi reaches the relay's local socket through the "localhost:NAME" host form.
  bool connect(std::chrono::milliseconds timeout) override {
    const std::optional<std::string> relayed = relay_.open(owner_.options(), timeout);
    if (!relayed) return false;
    setServer(relayed->c_str(), 0);
    const auto milliseconds = timeout.count();
    setConnectionTimeout(static_cast<std::uint32_t>(milliseconds / 1000),
                         static_cast<std::uint32_t>(milliseconds % 1000 * 1000));
    if (!connectServer()) {
      relay_.close();
      return false;
    }
    relay_.start();
    return true;
  }
  bool connected() override { return isServerConnected(); }
  void disconnect() override {
    disconnectServer();
    relay_.close();
  }

  // Requests are built as detached properties, so this thread never writes
  // into the properties libindi's thread is updating.
  void sendNumbers(const std::string& device, const std::string& property,
                   const std::vector<std::pair<std::string, double>>& values) override {
    INDI::PropertyNumber request(values.size());
    request.setDeviceName(device.c_str());
    request.setName(property.c_str());
    for (std::size_t i = 0; i < values.size(); ++i) {
      request[i].setName(values[i].first.c_str());
      request[i].setValue(values[i].second);
    }
    sendNewNumber(request);
  }

  void sendSwitch(const std::string& device, const std::string& property,
                  const std::string& element) override {
    INDI::PropertySwitch request(1);
    request.setDeviceName(device.c_str());
    request.setName(property.c_str());
    request[0].setName(element.c_str());
    request[0].setState(ISS_ON);
    sendNewSwitch(request);
  }

  void sendText(const std::string& device, const std::string& property, const std::string& element,
                const std::string& text) override {
    INDI::PropertyText request(1);
    request.setDeviceName(device.c_str());
    request.setName(property.c_str());
    request[0].setName(element.c_str());
    request[0].setText(text.c_str());
    sendNewText(request);
  }

  void enableImages(const std::string& device) override {
    setBLOBMode(B_ALSO, device.c_str(), kImageProperty);
  }

 protected:
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
    if (property.getType() == INDI_BLOB && property.isNameMatch(kImageProperty)) {
      if (isStreamFrame(property)) {
        storeStreamFrame(property);
      } else {
        storeImage(property);
      }
    }
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
    change([](IndiSnapshot& snapshot) {
      snapshot.serverConnected = true;
      snapshot.dropped.clear();
    });
  }

  // Devices and images are forgotten: after a reconnection the server
  // reports them afresh. Why the relay dropped the connection is kept.
  void serverDisconnected(int) override {
    change([](IndiSnapshot& snapshot) {
      std::string dropped = std::move(snapshot.dropped);
      snapshot = IndiSnapshot{};
      snapshot.dropped = std::move(dropped);
    });
  }

 private:
  template <class Change>
  void change(Change&& apply) {
    owner_.update(apply);
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
      // An image libindi could not decode arrives empty: said at once, not when the exposure times out.
      IndiImage decoded;
      if (blob.getBlobLen() <= 0) {
        decoded.error = "The camera sent an image that could not be decoded (it arrived empty)";
      } else {
        decoded = decodeBlob(blob);
      }
      change([&](IndiSnapshot& snapshot) {
        IndiImage& latest = snapshot.images[property.getDeviceName()];
        decoded.sequence = latest.sequence + 1;
        latest = std::move(decoded);
      });
    }
  }

  // A frame of the video stream; MJPEG frames too, so that they are refused
  // as stream frames rather than taken for an exposure's image.
  static bool isStreamFrame(INDI::Property property) {
    INDI::PropertyBlob blobs(property);
    return blobs.size() > 0 && std::string(blobs[0].getFormat()).starts_with(".stream");
  }

  // Stamped on arrival, decoded here and queued for the measurement: this
  // thread never waits for the reader, and nothing thrown leaves it.
  void storeStreamFrame(INDI::Property property) {
    const double arrival =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    const std::string device = property.getDeviceName();
    const std::shared_ptr<IndiFrameQueue> queue = owner_.frameQueue(device);
    if (queue == nullptr) return;  // a stream nobody asked for, or one being stopped
    struct Region {
      int width = 0;
      int height = 0;
      int bits = 16;
    };
    const Region region = owner_.read([&](const IndiSnapshot& snapshot) {
      Region seen;
      const IndiDevice* found = snapshot.device(device);
      if (found == nullptr) return seen;
      const auto whole = [](std::optional<double> value) {
        return value && std::fabs(*value) <= kMaxSensorSide ? static_cast<int>(std::lround(*value)) : 0;
      };
      seen.width = whole(found->number("CCD_STREAM_FRAME", "WIDTH"));
      seen.height = whole(found->number("CCD_STREAM_FRAME", "HEIGHT"));
      seen.bits = whole(found->number("CCD_INFO", "CCD_BITSPERPIXEL").value_or(16));
      return seen;
    });
    INDI::PropertyBlob blobs(property);
    ReceivedFrame frame;
    frame.arrival = arrival;
    const std::string format = blobs[0].getFormat();
    try {
      if (format != ".stream") {
        throw AutomationError("The camera sent its video stream as \"" + format +
                              "\"; Nebulor takes RAW stream frames (.stream)");
      }
      frame.pixels = std::make_shared<const stars::Frame>(
          decodeStreamFrame(static_cast<const std::uint8_t*>(blobs[0].getBlob()),
                            static_cast<std::size_t>(std::max(blobs[0].getBlobLen(), 0)), region.width,
                            region.height, region.bits));
    } catch (const AutomationError& error) {
      frame.error = error.what();
    } catch (...) {
      frame.error = "The camera's stream frame could not be decoded";
    }
    queue->push(std::move(frame));
  }

  // The largest message the sensor of any camera the server reports can explain.
  std::size_t messageLimit() const {
    return owner_.read([](const IndiSnapshot& snapshot) {
      std::size_t limit = kLeastMessageLimit;
      for (const auto& [name, device] : snapshot.devices) {
        limit = std::max(limit, messageLimitFor(device.number("CCD_INFO", "CCD_MAX_X").value_or(0),
                                                device.number("CCD_INFO", "CCD_MAX_Y").value_or(0)));
      }
      return limit;
    });
  }

  IndiConnection& owner_;
  IndiRelay relay_;  // after owner_, which its callbacks use
};

}  // namespace

std::unique_ptr<IndiTransport> makeLibIndiTransport(IndiConnection& connection) {
  return std::make_unique<LibIndiTransport>(connection);
}

}  // namespace nebulor::camera::indi
