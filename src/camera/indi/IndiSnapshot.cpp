#include "camera/indi/IndiSnapshot.h"

#include "core/NumberParse.h"

namespace nebulor::camera::indi {

const IndiProperty* IndiDevice::property(const std::string& name) const {
  const auto found = properties.find(name);
  return found == properties.end() ? nullptr : &found->second;
}

std::optional<double> IndiDevice::number(const std::string& propertyName, const std::string& element) const {
  const IndiProperty* vector = property(propertyName);
  if (vector == nullptr) return std::nullopt;
  const auto found = vector->numbers.find(element);
  if (found == vector->numbers.end()) return std::nullopt;
  return found->second;
}

bool IndiDevice::switchOn(const std::string& propertyName, const std::string& element) const {
  const IndiProperty* vector = property(propertyName);
  if (vector == nullptr) return false;
  const auto found = vector->switches.find(element);
  return found != vector->switches.end() && found->second;
}

bool IndiDevice::connected() const { return switchOn("CONNECTION", "CONNECT"); }

std::uint32_t IndiDevice::interfaces() const {
  const IndiProperty* info = property("DRIVER_INFO");
  if (info == nullptr) return 0;
  const auto found = info->texts.find("DRIVER_INTERFACE");
  if (found == info->texts.end()) return 0;
  return parseWhole<std::uint32_t>(found->second).value_or(0);
}

const IndiDevice* IndiSnapshot::device(const std::string& name) const {
  const auto found = devices.find(name);
  return found == devices.end() ? nullptr : &found->second;
}

std::uint64_t IndiSnapshot::imageSequence(const std::string& device) const {
  const auto found = images.find(device);
  return found == images.end() ? 0 : found->second.sequence;
}

}  // namespace nebulor::camera::indi
