#pragma once

#include <chrono>

#include "camera/sim/SimSettings.h"

namespace nebulor::camera::sim {

// Seconds since the simulated application started. Instant timing runs a
// virtual clock that only the exposures move, so a run is repeatable;
// realtime timing reads the monotonic clock.
class SimClock {
 public:
  explicit SimClock(Timing timing);

  double now() const;
  // The camera is busy (exposing, reading out) until `time`.
  void busyUntil(double time);

 private:
  Timing timing_;
  std::chrono::steady_clock::time_point start_;
  double virtualTime_ = 0;
};

}  // namespace nebulor::camera::sim
