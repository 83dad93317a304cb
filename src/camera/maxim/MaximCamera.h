#pragma once

#include "camera/Automation.h"
#include "camera/maxim/DispatchObject.h"

namespace nebulor::camera::maxim {

// The camera object, "MaxIm.CCDCamera"; members are found by name.
class MaximCamera final : public Camera {
 public:
  explicit MaximCamera(DispatchObject camera);

  void setLinkEnabled(bool enabled) override;
  bool linkEnabled() override;
  void setDisableAutoShutdown(bool disable) override;
  int cameraXSize() override;
  int cameraYSize() override;
  void setFullFrame() override;
  void setStartX(std::int16_t x) override;
  void setNumX(std::int16_t width) override;
  void setStartY(std::int16_t y) override;
  void setNumY(std::int16_t height) override;
  void expose(float seconds) override;
  bool imageReady() override;
  std::shared_ptr<ImageDocument> document() override;

 private:
  // CameraXSize or CameraYSize, refused outside 1..kMaxSensorSide.
  int sensorSize(const char* property);

  DispatchObject camera_;
};

}  // namespace nebulor::camera::maxim
