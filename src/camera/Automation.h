#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>

#include "stars/Centroid.h"
#include "stars/Frame.h"

// The imaging application as Nebulor drives it: an application object, a
// camera object and the image document of the latest exposure. Backends
// (the built-in simulator, INDI, the Windows COM application) implement these
// operations; the flows use nothing else. A backend reports any failure by
// throwing AutomationError with a text a user can read.
namespace nebulor::camera {

class AutomationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A FITS header value as the application reports it: a number or a text.
using FitsValue = std::variant<double, std::string>;

// How the search position reaches the application: the star selection
// passes it by reference, the measurement cycle by value. Only the COM
// backend cares; the others ignore it.
enum class PassBy { reference, value };

class ImageDocument {
 public:
  virtual ~ImageDocument() = default;

  // Called once per image before it is read; its errors are ignored by callers.
  virtual void prepare() = 0;

  // Header value by keyword; std::nullopt when the header lacks the keyword.
  virtual std::optional<FitsValue> fitsKey(const std::string& keyword) = 0;

  // Click state of the image window, polled by the star selection.
  virtual std::int16_t clickNew() = 0;  // nonzero while the window is ready to take a click
  virtual bool mouseDown() = 0;         // true from a press in the image until it is released
                                        // (a press is reported at least once, however short)
  virtual std::int16_t clickX() = 0;    // image column of the latest press
  virtual std::int16_t clickY() = 0;    // image row of the latest press

  virtual stars::Centroid centroidNear(std::int16_t x, std::int16_t y, PassBy passBy) = 0;

  // The image's pixels, for choosing the stars without a click. An imaging
  // application that keeps its images to itself leaves this as it is.
  virtual std::shared_ptr<const stars::Frame> frame() const {
    throw AutomationError(
        "This imaging application does not hand its images to Nebulor, so the stars cannot be chosen "
        "automatically; select them by clicking.");
  }
};

// One frame of a continuous acquisition: the subframe's pixels in linear
// counts, when it arrived, and what a single exposure's FITS header would
// have said, from the devices' properties (nothing where a device lacks it).
struct StreamFrame {
  std::shared_ptr<const stars::Frame> pixels;
  double arrival = 0;                 // s on a steady clock: differences are the frames' spacing
  std::uint64_t sequence = 0;         // counts every frame the camera made; a gap is frames dropped
  float exposure = 0;                 // s
  std::optional<double> altitude;     // degrees, the mount's
  std::optional<double> focalLength;  // mm
  std::optional<double> pixelWidth;   // micrometres
  std::optional<double> pixelHeight;  // micrometres
};

// A camera that delivers frames back to back on its subframe, as fast as it
// can, until stopped: a video stream where it has one. The caller takes the
// frames one at a time; none are lost in between unless the camera's own
// buffer overflows (the sequence says so).
class FrameStream {
 public:
  virtual ~FrameStream() = default;
  virtual void startFrames(float exposure) = 0;
  // The oldest frame not yet taken; nothing when none has arrived yet.
  virtual std::optional<StreamFrame> nextFrame() = 0;
  virtual void stopFrames() = 0;
};

class Camera {
 public:
  virtual ~Camera() = default;

  virtual void setLinkEnabled(bool enabled) = 0;
  virtual bool linkEnabled() = 0;
  virtual void setDisableAutoShutdown(bool disable) = 0;

  virtual int cameraXSize() = 0;  // sensor width, pixels
  virtual int cameraYSize() = 0;  // sensor height, pixels

  virtual void setFullFrame() = 0;
  virtual void setStartX(std::int16_t x) = 0;    // subframe of later exposures,
  virtual void setNumX(std::int16_t width) = 0;  // in sensor pixels
  virtual void setStartY(std::int16_t y) = 0;
  virtual void setNumY(std::int16_t height) = 0;

  // Starts a light frame; the image is awaited through imageReady().
  virtual void expose(float seconds) = 0;
  virtual bool imageReady() = 0;
  // The latest image; stays valid while the caller holds it.
  virtual std::shared_ptr<ImageDocument> document() = 0;

  // Frames back to back, where the camera can stream them; nothing where it
  // cannot (then fast acquisition takes single exposures back to back).
  virtual FrameStream* frameStream() { return nullptr; }
};

class Application {
 public:
  virtual ~Application() = default;

  // Setting the link throws AutomationError whose text says why, short and
  // without a final full stop: it goes in parentheses in the message.
  virtual void setTelescopeConnected(bool connected) = 0;
  virtual bool telescopeConnected() = 0;

  // How messages name the application where the user has to act on it:
  // "please check NAME setup", "please connect NAME to telescope manually".
  virtual std::string name() = 0;
};

// What a backend provides: the two automation objects, created at start-up
// as the imaging application's own objects would be. Creation may throw
// (the application is not installed, the server cannot be reached).
class AutomationServer {
 public:
  virtual ~AutomationServer() = default;

  virtual std::unique_ptr<Application> createApplication() = 0;
  virtual std::unique_ptr<Camera> createCamera() = 0;
};

}  // namespace nebulor::camera
