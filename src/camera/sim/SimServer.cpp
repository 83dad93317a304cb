#include "camera/sim/SimServer.h"

#include <utility>

#include "camera/sim/SimApplication.h"
#include "camera/sim/SimCamera.h"

namespace nebulor::camera::sim {

SimServer::SimServer(SimSettings settings)
    : settings_(std::move(settings)), view_(std::make_shared<ImageDisplay>()) {
  if (settings_.clicks.automaticPair)
    view_->clicks.scriptAutomaticPair(stars::plausibleSeparation(settings_.focalLength, settings_.pixelSize));
  else if (!settings_.clicks.points.empty())
    view_->clicks.scriptClicks(settings_.clicks.points);
}

std::unique_ptr<Application> SimServer::createApplication() {
  return std::make_unique<SimApplication>(settings_.telescope);
}

std::unique_ptr<Camera> SimServer::createCamera() { return std::make_unique<SimCamera>(settings_, view_); }

}  // namespace nebulor::camera::sim
