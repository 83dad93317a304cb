#pragma once

#include "camera/StarFinder.h"

namespace nebulor::camera::indi {

// A readout box in sensor pixels: origin and size.
struct FrameBox {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  bool operator==(const FrameBox&) const = default;
};

// The image as it was asked for. An image of the box's size passes as it is.
// A full-sensor image when a smaller box was asked for (a camera that
// ignores subframes, as the INDI simulator does when it replays files) is
// cut down to the box. Any other size throws AutomationError.
Frame fitToBox(Frame image, const FrameBox& box, int sensorWidth, int sensorHeight);

}  // namespace nebulor::camera::indi
