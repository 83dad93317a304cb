#pragma once

namespace nebulor::camera {

// A readout box in sensor pixels: origin and size.
struct SensorBox {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  bool operator==(const SensorBox&) const = default;
};

}  // namespace nebulor::camera
