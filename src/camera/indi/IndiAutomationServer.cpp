#include "camera/indi/IndiAutomationServer.h"

#include <utility>

#include "camera/indi/IndiApplication.h"
#include "camera/indi/IndiCamera.h"
#include "camera/indi/IndiConnection.h"

namespace nebulor::camera::indi {

IndiAutomationServer::IndiAutomationServer(IndiOptions options, IndiTimeouts timeouts)
    : connection_(std::make_shared<IndiConnection>(std::move(options), timeouts)),
      display_(std::make_shared<ImageDisplay>()) {}

IndiAutomationServer::~IndiAutomationServer() = default;

void IndiAutomationServer::setEventPump(EventPump* pump, std::function<bool()> abandon) {
  connection_->setEventPump(pump, std::move(abandon));
}

std::unique_ptr<Application> IndiAutomationServer::createApplication() {
  connection_->ensureConnected();
  return std::make_unique<IndiApplication>(connection_);
}

std::unique_ptr<Camera> IndiAutomationServer::createCamera() {
  connection_->ensureConnected();
  return std::make_unique<IndiCamera>(connection_, display_);
}

}  // namespace nebulor::camera::indi
