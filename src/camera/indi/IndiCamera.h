#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "camera/Automation.h"
#include "camera/ImageDisplay.h"
#include "camera/indi/FitToBox.h"
#include "camera/indi/IndiConnection.h"
#include "camera/indi/IndiDocument.h"

namespace nebulor::camera::indi {

// An INDI CCD as the imaging application's camera. Linking connects the
// device; the readout box goes out as CCD_FRAME, exposures as CCD_EXPOSURE,
// and the image arrives as a FITS BLOB that libindi's thread decodes.
// imageReady() only looks at what has arrived, so polling it is cheap; it
// throws when the server or device went away, the exposure failed, the image
// was unreadable or did not come in time.
class IndiFrameStream;

class IndiCamera : public Camera {
 public:
  IndiCamera(std::shared_ptr<IndiConnection> connection, std::shared_ptr<ImageDisplay> display);
  ~IndiCamera() override;

  void setLinkEnabled(bool enabled) override;
  bool linkEnabled() override;
  void setDisableAutoShutdown(bool) override {}  // INDI drivers do not shut down on their own

  int cameraXSize() override;
  int cameraYSize() override;

  void setFullFrame() override;
  void setStartX(std::int16_t x) override { setBox(&SensorBox::x, x); }
  void setNumX(std::int16_t width) override { setBox(&SensorBox::width, width); }
  void setStartY(std::int16_t y) override { setBox(&SensorBox::y, y); }
  void setNumY(std::int16_t height) override { setBox(&SensorBox::height, height); }

  void expose(float seconds) override;
  bool imageReady() override;
  std::shared_ptr<ImageDocument> document() override;

  // The video stream where the camera offers one (CCD_VIDEO_STREAM).
  FrameStream* frameStream() override;

 private:
  friend class IndiFrameStream;

  using Clock = std::chrono::steady_clock;

  struct Exposure {
    SensorBox box;
    bool fullFrame = false;
    std::uint64_t imageSequence = 0;    // images received before it started
    std::uint64_t exposureUpdates = 0;  // CCD_EXPOSURE reports before it started
    Clock::time_point started;
    float seconds = 0;
  };

  void setBox(int SensorBox::*edge, std::int16_t value) {
    box_.*edge = value;
    fullFrame_ = false;
  }
  int sensorSize(const char* element);
  void requireLink() const;
  void prepareDevice();
  void waitUntilIdle();
  std::pair<SensorBox, std::uint64_t> cameraBox() const;
  void requireOnSensor(const SensorBox& box);
  void sendBox(const SensorBox& wanted);
  bool acceptImage(const IndiImage& received, int sensorWidth, int sensorHeight);
  [[noreturn]] void failExposure(const std::string& reason);

  std::shared_ptr<IndiConnection> connection_;
  std::shared_ptr<ImageDisplay> display_;
  std::string ccd_;  // empty until a link was asked for
  SensorBox box_;
  bool fullFrame_ = false;  // box_ is the whole sensor as the camera last reported it
  std::optional<Exposure> pending_;
  std::shared_ptr<IndiDocument> document_;
  std::unique_ptr<IndiFrameStream> stream_;
};

// "W x H at X, Y", as messages name a box.
std::string boxText(const SensorBox& box);

// The exposure time as the decimal number the float stands for: 0.01f
// widened as it is (0.0099999998) falls below drivers' 0.01 s minimum.
double decimalSeconds(float seconds);

}  // namespace nebulor::camera::indi
