#pragma once

#include <functional>
#include <memory>

#include "camera/Automation.h"
#include "camera/ImageDisplay.h"
#include "camera/indi/IndiOptions.h"
#include "camera/indi/IndiTimeouts.h"
#include "core/EventPump.h"

namespace nebulor::camera::indi {

class IndiConnection;

// The INDI backend: an application and a camera object sharing one client
// connection to the server named by the options. Creating either object
// connects and throws AutomationError when the server cannot be reached.
class IndiAutomationServer : public AutomationServer {
 public:
  explicit IndiAutomationServer(IndiOptions options, IndiTimeouts timeouts = {});
  ~IndiAutomationServer() override;

  std::unique_ptr<Application> createApplication() override;
  std::unique_ptr<Camera> createCamera() override;

  // The image window's click state (clicks and scripts go in here) and the
  // window that shows each image, if any; both used on the calling thread.
  ClickState& clickState() { return display_->clicks; }
  void setViewer(FrameViewer* viewer) { display_->viewer = viewer; }

  // From now on every wait lets the window dispatch its events and ends
  // early when it closes or abandon() holds (see IndiConnection).
  void setEventPump(EventPump* pump, std::function<bool()> abandon);

 private:
  std::shared_ptr<IndiConnection> connection_;
  std::shared_ptr<ImageDisplay> display_;
};

}  // namespace nebulor::camera::indi
