#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera/indi/FitsImage.h"

namespace nebulor::camera::indi {

enum class PropertyStatus { idle, ok, busy, alert };

// The values of one INDI property as last reported by the server.
struct IndiProperty {
  PropertyStatus status = PropertyStatus::idle;
  std::uint64_t updates = 0;  // how many times the server has reported it
  std::map<std::string, double> numbers;
  std::map<std::string, bool> switches;
  std::map<std::string, std::string> texts;
};

struct IndiDevice {
  std::map<std::string, IndiProperty> properties;
  std::string lastMessage;

  const IndiProperty* property(const std::string& name) const;
  std::optional<double> number(const std::string& propertyName, const std::string& element) const;
  bool switchOn(const std::string& propertyName, const std::string& element) const;
  bool connected() const;            // CONNECTION.CONNECT is on
  std::uint32_t interfaces() const;  // DRIVER_INFO.DRIVER_INTERFACE bits, 0 until known
};

// The latest image a device sent.
struct IndiImage {
  std::uint64_t sequence = 0;  // images received so far
  std::shared_ptr<const FitsImage> image;
  std::string error;  // why the latest one could not be decoded; empty when it could
};

// Everything the client has heard from the server, copied out of libindi's
// thread under the connection's lock.
struct IndiSnapshot {
  std::string dropped;  // why the client dropped the last connection (a hostile server); empty: it did not
  bool serverConnected = false;
  std::vector<std::string> deviceOrder;  // as the server reported them
  std::map<std::string, IndiDevice> devices;
  std::map<std::string, IndiImage> images;  // by device

  const IndiDevice* device(const std::string& name) const;
  std::uint64_t imageSequence(const std::string& device) const;
};

}  // namespace nebulor::camera::indi
