#pragma once

#include "camera/ClickState.h"
#include "camera/FrameViewer.h"

namespace nebulor::camera::sim {

// The simulated application's image window as its camera and documents see
// it: the click state they report, and the viewer that shows their images
// (none when the simulator runs without a window).
struct SimView {
  ClickState clicks;
  FrameViewer* viewer = nullptr;
};

}  // namespace nebulor::camera::sim
