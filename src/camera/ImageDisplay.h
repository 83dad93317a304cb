#pragma once

#include "camera/ClickState.h"
#include "camera/FrameViewer.h"

namespace nebulor::camera {

// The image window as a backend's camera and documents see it, on the
// user-interface thread: the click state the star selection polls (fed by
// the window or a script), and the viewer that shows the images (none when
// there is no window).
struct ImageDisplay {
  ClickState clicks;
  FrameViewer* viewer = nullptr;
};

}  // namespace nebulor::camera
