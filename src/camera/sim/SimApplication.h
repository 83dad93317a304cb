#pragma once

#include "camera/Automation.h"
#include "camera/sim/SimSettings.h"

namespace nebulor::camera::sim {

// The simulated application object: only the telescope link, which works
// unless a fault switch says otherwise.
class SimApplication : public Application {
 public:
  explicit SimApplication(TelescopeFault fault) : fault_(fault) {}

  void setTelescopeConnected(bool connected) override;
  bool telescopeConnected() override { return connected_; }
  std::string name() override { return "the simulator"; }

 private:
  TelescopeFault fault_;
  bool connected_ = false;
};

}  // namespace nebulor::camera::sim
