#include "camera/sim/SimClock.h"

namespace nebulor::camera::sim {

SimClock::SimClock(Timing timing) : timing_(timing), start_(std::chrono::steady_clock::now()) {}

double SimClock::now() const {
  if (timing_ == Timing::instant) return virtualTime_;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void SimClock::busyUntil(double time) {
  if (timing_ == Timing::instant && time > virtualTime_) virtualTime_ = time;
}

}  // namespace nebulor::camera::sim
