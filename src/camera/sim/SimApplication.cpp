#include "camera/sim/SimApplication.h"

namespace nebulor::camera::sim {

void SimApplication::setTelescopeConnected(bool connected) {
  if (fault_ == TelescopeFault::raises) throw AutomationError("the simulated telescope does not answer");
  connected_ = connected && fault_ != TelescopeFault::readsFalse;
}

}  // namespace nebulor::camera::sim
