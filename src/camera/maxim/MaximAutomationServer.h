#pragma once

#include <memory>
#include <string>

#include "camera/Automation.h"

namespace nebulor::camera::maxim {

class ComApartment;

// The imaging application on Windows, reached by COM automation: its objects
// are created from their ProgIDs on the calling thread, which must be the
// thread that uses them.
// The classes the objects are created from.
struct MaximProgIds {
  std::string application = "MaxIm.Application";
  std::string camera = "MaxIm.CCDCamera";
};

class MaximAutomationServer final : public AutomationServer {
 public:
  // Joins COM on the calling thread; throws AutomationError when it cannot.
  explicit MaximAutomationServer(MaximProgIds progIds = {});
  ~MaximAutomationServer() override;

  // Throw AutomationError, with the ProgID and the HRESULT, when the class is
  // not registered (the application is not installed) or does not start.
  std::unique_ptr<Application> createApplication() override;
  std::unique_ptr<Camera> createCamera() override;

 private:
  MaximProgIds progIds_;
  std::shared_ptr<ComApartment> apartment_;
};

}  // namespace nebulor::camera::maxim
