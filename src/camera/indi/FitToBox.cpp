#include "camera/indi/FitToBox.h"

#include <string>
#include <utility>

#include "camera/Automation.h"

namespace nebulor::camera::indi {

stars::Frame fitToBox(stars::Frame image, const SensorBox& box, int sensorWidth, int sensorHeight) {
  if (image.width == box.width && image.height == box.height) return image;
  const bool fullSensor = image.width == sensorWidth && image.height == sensorHeight;
  const bool boxOnSensor = box.x >= 0 && box.y >= 0 && box.width > 0 && box.height > 0 &&
                           box.x + box.width <= image.width && box.y + box.height <= image.height;
  if (!fullSensor || !boxOnSensor) {
    throw AutomationError("The camera sent a " + std::to_string(image.width) + " x " +
                          std::to_string(image.height) + " image where " + std::to_string(box.width) + " x " +
                          std::to_string(box.height) + " pixels were asked for");
  }
  stars::Frame cut;
  cut.width = box.width;
  cut.height = box.height;
  cut.pixels.reserve(static_cast<std::size_t>(box.width) * static_cast<std::size_t>(box.height));
  for (int row = box.y; row < box.y + box.height; ++row) {
    const auto first = image.pixels.begin() + static_cast<std::ptrdiff_t>(row) * image.width + box.x;
    cut.pixels.insert(cut.pixels.end(), first, first + box.width);
  }
  return cut;
}

}  // namespace nebulor::camera::indi
