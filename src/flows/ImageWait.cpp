#include "flows/ImageWait.h"

namespace nebulor {

bool WaitForImage(camera::Camera& camera, MonitorUi& ui, const std::function<bool()>& giveUp) {
  WaitRules rules;
  rules.interval = kImagePollInterval;
  rules.abandon = giveUp;
  return waitFor(
             ui, [&camera] { return camera.imageReady(); }, rules) == WaitEnd::ready;
}

}  // namespace nebulor
