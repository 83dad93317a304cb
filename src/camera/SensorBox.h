#pragma once

namespace nebulor::camera {

// The widest sensor side a camera may report; anything more is taken for a
// broken report, not a sensor.
inline constexpr int kMaxSensorSide = 65535;

// A readout box in sensor pixels: origin and size.
struct SensorBox {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  bool operator==(const SensorBox&) const = default;
};

}  // namespace nebulor::camera
