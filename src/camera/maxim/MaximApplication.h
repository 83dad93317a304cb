#pragma once

#include "camera/Automation.h"
#include "camera/maxim/DispatchObject.h"

namespace nebulor::camera::maxim {

// The application object, "MaxIm.Application"; it links the telescope.
class MaximApplication final : public Application {
 public:
  explicit MaximApplication(DispatchObject application);

  void setTelescopeConnected(bool connected) override;
  bool telescopeConnected() override;
  std::string name() override { return "MaximDL"; }

 private:
  DispatchObject application_;
};

}  // namespace nebulor::camera::maxim
