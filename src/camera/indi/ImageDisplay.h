#pragma once

#include "camera/ClickState.h"
#include "camera/FrameViewer.h"

namespace nebulor::camera::indi {

// Where the INDI backend's images go, on the user-interface thread: the click
// state the star selection polls (fed by the image window or a script), and
// the image window itself when there is one.
struct ImageDisplay {
  ClickState clicks;
  FrameViewer* viewer = nullptr;
};

}  // namespace nebulor::camera::indi
