#pragma once

#include <functional>

#include "camera/Automation.h"
#include "core/EventWait.h"
#include "core/MonitorUi.h"

namespace nebulor {

// Waits for the camera's image: while it is not ready, sleeps 100 ms and then
// lets the window dispatch its pending events (a click may run in there);
// an image ready at the first look still lets the window dispatch once.
// Returns true once the image is ready; false as soon as giveUp() says so or
// the window is closing, checked before every poll and after every dispatch.
bool WaitForImage(camera::Camera& camera, MonitorUi& ui, const std::function<bool()>& giveUp);

}  // namespace nebulor
