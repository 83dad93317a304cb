#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "camera/Automation.h"
#include "camera/indi/IndiFrameQueue.h"

namespace nebulor::camera::indi {

class IndiCamera;

// The INDI camera's video stream (libindi's stream manager) on the
// camera's readout box. Starting it sets, on the CCD: CCD_FRAME to the
// whole sensor (the stream manager cuts the region out of whole frames),
// CCD_STREAM_ENCODER to RAW, STREAMING_EXPOSURE to the exposure with
// divisor 1 (no frame left out), LIMITS_PREVIEW_FPS to 120 (libindi's
// highest: below it the stream manager passes only 10 frames a second),
// CCD_STREAM_FRAME to the box; then CCD_VIDEO_STREAM to STREAM_ON.
// Frames come in libindi's thread (IndiFrameQueue); errors, the server's or
// the device's going included, surface from nextFrame().
class IndiFrameStream : public FrameStream {
 public:
  // libindi's bound on LIMITS_PREVIEW_FPS.
  static constexpr double kMostPreviewFps = 120;

  explicit IndiFrameStream(IndiCamera& camera);
  ~IndiFrameStream() override;
  IndiFrameStream(const IndiFrameStream&) = delete;
  IndiFrameStream& operator=(const IndiFrameStream&) = delete;

  void startFrames(float exposure) override;
  std::optional<StreamFrame> nextFrame() override;
  void stopFrames() override;

 private:
  using Clock = std::chrono::steady_clock;

  bool offers(const char* property) const;
  // Sends the numbers and waits for the camera's answer; throws when it refuses them.
  void setNumbers(const char* property, const std::vector<std::pair<std::string, double>>& values);
  void sendRegion();
  void failWhenStopped() const;

  IndiCamera& camera_;
  std::shared_ptr<IndiFrameQueue> queue_;  // while streaming
  float exposure_ = 0;
  Clock::time_point lastFrame_;
  Clock::time_point lastShown_;
};

}  // namespace nebulor::camera::indi
