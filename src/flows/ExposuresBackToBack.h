#pragma once

#include <cstdint>
#include <optional>

#include "camera/Automation.h"

namespace nebulor {

// Frames from a camera that cannot stream: single exposures, each started
// the moment the previous image has arrived (no waiting step between), the
// pixels from the image document and the header values from its FITS
// header. The application must hand its images over (the COM application
// does not: its document's frame() says so, and fast acquisition stops).
class ExposuresBackToBack : public camera::FrameStream {
 public:
  explicit ExposuresBackToBack(camera::Camera& camera) : camera_(camera) {}

  void startFrames(float exposure) override;
  std::optional<camera::StreamFrame> nextFrame() override;
  void stopFrames() override { exposing_ = false; }

 private:
  camera::Camera& camera_;
  float exposure_ = 0;
  bool exposing_ = false;
  std::uint64_t sequence_ = 0;
};

}  // namespace nebulor
