#pragma once

#include "camera/SensorBox.h"
#include "stars/StarFinder.h"

namespace nebulor::camera::indi {

// The image as it was asked for. An image of the box's size passes as it is.
// A full-sensor image when a smaller box was asked for (a camera that
// ignores subframes, as the INDI simulator does when it replays files) is
// cut down to the box. Any other size throws AutomationError.
stars::Frame fitToBox(stars::Frame image, const SensorBox& box, int sensorWidth, int sensorHeight);

}  // namespace nebulor::camera::indi
