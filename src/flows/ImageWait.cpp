#include "flows/ImageWait.h"

namespace nebulor {

bool WaitForImage(camera::Camera& camera, MonitorUi& ui, const std::function<bool()>& giveUp) {
  for (;;) {
    if (ui.windowClosing() || giveUp()) return false;
    if (camera.imageReady()) return true;
    ui.sleep(kImagePollInterval);
    ui.dispatchEvents();
  }
}

}  // namespace nebulor
