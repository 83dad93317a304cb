#pragma once

#include <memory>
#include <optional>

#include "camera/Automation.h"
#include "camera/ClickState.h"
#include "camera/FrameViewer.h"
#include "camera/ImageDisplay.h"
#include "camera/sim/SimSettings.h"
#include "sky/WindLayers.h"

namespace nebulor::camera::sim {

// The built-in simulated imaging application, the default backend.
class SimServer : public AutomationServer {
 public:
  explicit SimServer(SimSettings settings);

  std::unique_ptr<Application> createApplication() override;
  std::unique_ptr<Camera> createCamera() override;

  // The truth a run can be checked against: lambda / r0 at the zenith, in
  // arcseconds at the simulator's wavelength.
  double trueSeeing() const { return settings_.seeing; }
  // And the coherence time of its wind, ms (sky::trueTau0): none for the
  // model turbulence or in still air.
  std::optional<double> trueTau0() const { return sky::trueTau0(settings_); }
  const SimSettings& settings() const { return settings_; }

  // The simulated image window: its click state, and where its images are
  // shown (nullptr: nowhere). The viewer must outlive the camera's use.
  ClickState& clickState() { return view_->clicks; }
  void setViewer(FrameViewer* viewer) { view_->viewer = viewer; }

 private:
  SimSettings settings_;
  std::shared_ptr<ImageDisplay> view_;
};

}  // namespace nebulor::camera::sim
