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
  FrameStream* frameStream() override { return &stream_; }

  int exposuresTaken() const { return exposures_; }

 private:
  // The camera's frames back to back: one every 1 / stream seconds of its
  // clock, each exposed for at most that long, the sky moving on between
  // them as it does (a frozen-flow screen by the wind times the interval),
  // so neighbouring frames are correlated as on a real sky.
  class Stream : public FrameStream {
   public:
    explicit Stream(SimCamera& camera) : camera_(camera) {}
    void startFrames(float exposure) override;
    std::optional<StreamFrame> nextFrame() override;
    void stopFrames() override { running_ = false; }

   private:
    SimCamera& camera_;
    bool running_ = false;
    float exposure_ = 0;
    double next_ = 0;  // when the next frame starts, on the camera's clock
    std::uint64_t sequence_ = 0;
    double shown_ = -1;  // when a frame was last shown in the image window
  };

  std::shared_ptr<SimDocument> render(double start, float seconds);
  void check(SimOperation operation) const;
  SensorBox readoutRegion() const;
  void deliverIfDue();

  SimSettings settings_;
  std::shared_ptr<ImageDisplay> view_;
  SimClock clock_;
  sky::SeeingModel seeing_;
  sky::Scene scene_;
  bool freshAir_ = true;  // the latest exposure's turbulence was unrelated to the one before
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
  Stream stream_{*this};
};

}  // namespace nebulor::camera::sim
