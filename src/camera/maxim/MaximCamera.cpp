#include "camera/maxim/MaximCamera.h"

#include <utility>

#include "camera/SensorBox.h"
#include "camera/maxim/MaximDocument.h"

namespace nebulor::camera::maxim {

namespace {
constexpr std::int16_t kLightFrame = 1;  // Expose's second argument
}  // namespace

MaximCamera::MaximCamera(DispatchObject camera) : camera_(std::move(camera)) {}

void MaximCamera::setLinkEnabled(bool enabled) {
  camera_.put(camera_.member("LinkEnabled"), Variant::boolean(enabled));
}

bool MaximCamera::linkEnabled() { return camera_.getBool(camera_.member("LinkEnabled")); }

void MaximCamera::setDisableAutoShutdown(bool disable) {
  camera_.put(camera_.member("DisableAutoShutdown"), Variant::boolean(disable));
}

int MaximCamera::cameraXSize() { return sensorSize("CameraXSize"); }

int MaximCamera::cameraYSize() { return sensorSize("CameraYSize"); }

int MaximCamera::sensorSize(const char* property) {
  const DispatchObject::Member member = camera_.member(property);
  const std::int32_t size = camera_.getInt32(member);
  if (size < 1 || size > kMaxSensorSide) {
    throw AutomationError(member.name + " returned " + std::to_string(size) +
                          ", which is no sensor size (1 to " + std::to_string(kMaxSensorSide) + " pixels)");
  }
  return size;
}

void MaximCamera::setFullFrame() { camera_.callMethod(camera_.member("SetFullFrame"), {}); }

void MaximCamera::setStartX(std::int16_t x) { camera_.put(camera_.member("StartX"), Variant::int16(x)); }

void MaximCamera::setNumX(std::int16_t width) { camera_.put(camera_.member("NumX"), Variant::int16(width)); }

void MaximCamera::setStartY(std::int16_t y) { camera_.put(camera_.member("StartY"), Variant::int16(y)); }

void MaximCamera::setNumY(std::int16_t height) {
  camera_.put(camera_.member("NumY"), Variant::int16(height));
}

void MaximCamera::expose(float seconds) {
  float duration = seconds;  // by reference: the application may write to it
  Variant arguments[] = {Variant::singleRef(&duration), Variant::int16(kLightFrame)};
  camera_.callMethod(camera_.member("Expose"), arguments);
}

bool MaximCamera::imageReady() { return camera_.getBool(camera_.member("ImageReady")); }

std::shared_ptr<ImageDocument> MaximCamera::document() {
  const DispatchObject::Member member = camera_.member("Document");
  const Variant value = camera_.get(member);
  if (value.type() != VT_DISPATCH || value.raw().pdispVal == nullptr) {
    throw AutomationError(member.name + " returned no image (VARIANT type " + std::to_string(value.type()) +
                          ")");
  }
  return std::make_shared<MaximDocument>(value.raw().pdispVal, camera_.apartment());
}

}  // namespace nebulor::camera::maxim
