#pragma once

#include <memory>
#include <random>

#include "camera/Automation.h"
#include "camera/ImageDisplay.h"
#include "camera/sim/FrameRenderer.h"
#include "camera/sim/SimClock.h"
#include "camera/sim/SimDocument.h"
#include "camera/sim/SimSettings.h"
#include "sky/Scene.h"

namespace nebulor::camera::sim {

// The simulated camera: exposes the simulated sky over the full sensor or
// the subframe last set, and hands each image over as a document once its
// exposure and readout are over.
class SimCamera : public Camera {
 public:
  SimCamera(const SimSettings& settings, std::shared_ptr<ImageDisplay> view);

  void setLinkEnabled(bool enabled) override;
  bool linkEnabled() override;
  void setDisableAutoShutdown(bool disable) override;

  int cameraXSize() override;
  int cameraYSize() override;

  void setFullFrame() override;
  void setStartX(std::int16_t x) override;
  void setNumX(std::int16_t width) override;
  void setStartY(std::int16_t y) override;
  void setNumY(std::int16_t height) override;

  void expose(float seconds) override;
  bool imageReady() override;
  std::shared_ptr<ImageDocument> document() override;

  int exposuresTaken() const { return exposures_; }

 private:
  void check(SimOperation operation) const;
  SensorBox readoutRegion() const;
  void deliverIfDue();

  SimSettings settings_;
  std::shared_ptr<ImageDisplay> view_;
  SimClock clock_;
  sky::SeeingModel seeing_;
  sky::Scene scene_;
  FrameRenderer renderer_;
  std::mt19937_64 noise_;

  bool linked_ = false;
  std::int16_t startX_ = 0;
  std::int16_t startY_ = 0;
  std::int16_t numX_;
  std::int16_t numY_;
  int exposures_ = 0;

  std::shared_ptr<SimDocument> pending_;  // exposing or reading out
  double pendingDue_ = 0;
  std::shared_ptr<SimDocument> latest_;  // the last image handed over
};

}  // namespace nebulor::camera::sim
