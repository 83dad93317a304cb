#include "flows/ExposuresBackToBack.h"

#include <chrono>
#include <memory>

#include "flows/HeaderNumber.h"

namespace nebulor {

void ExposuresBackToBack::startFrames(float exposure) {
  exposure_ = exposure;
  camera_.expose(exposure_);
  exposing_ = true;
}

std::optional<camera::StreamFrame> ExposuresBackToBack::nextFrame() {
  if (!exposing_ || !camera_.imageReady()) return std::nullopt;
  const double arrival =
      std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  const std::shared_ptr<camera::ImageDocument> document = camera_.document();
  try {
    document->prepare();
  } catch (const camera::AutomationError&) {
    // Preparing the image is a courtesy to the application; its pixels come without it.
  }
  camera::StreamFrame frame;
  frame.pixels = document->frame();
  frame.arrival = arrival;
  frame.sequence = ++sequence_;
  frame.exposure = exposure_;
  frame.altitude = headerNumber(*document, "OBJCTALT").value;
  frame.focalLength = headerNumber(*document, "FOCALLEN").value;
  frame.pixelWidth = headerNumber(*document, "XPIXSZ").value;
  frame.pixelHeight = headerNumber(*document, "YPIXSZ").value;
  camera_.expose(exposure_);  // the next one at once, while this one is measured
  return frame;
}

}  // namespace nebulor
