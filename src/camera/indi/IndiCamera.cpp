#include "camera/indi/IndiCamera.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "camera/indi/IndiFrameStream.h"
#include "camera/indi/IndiStreamGuard.h"
#include "core/NumberParse.h"
#include "core/NumberText.h"

namespace nebulor::camera::indi {

namespace {

constexpr std::array kCameraProperties = {"CCD_INFO", "CCD_FRAME", "CCD_EXPOSURE"};

// A pixel count or position the server reported, rounded; -1 when it is
// missing or no number a sensor can have (so it never matches a real one).
int pixelsOf(std::optional<double> value) {
  if (!value || !(std::fabs(*value) <= kMaxSensorSide)) return -1;
  return static_cast<int>(std::lround(*value));
}

SensorBox boxOf(const IndiProperty& frame) {
  const auto value = [&](const char* element) {
    const auto found = frame.numbers.find(element);
    return pixelsOf(found == frame.numbers.end() ? std::nullopt : std::optional<double>(found->second));
  };
  return SensorBox{value("X"), value("Y"), value("WIDTH"), value("HEIGHT")};
}

std::chrono::milliseconds millisecondsOf(double seconds) {
  return std::chrono::milliseconds(static_cast<long long>(std::ceil(std::max(seconds, 0.0) * 1000)));
}

}  // namespace

std::string boxText(const SensorBox& box) {
  return std::to_string(box.width) + " x " + std::to_string(box.height) + " at " + std::to_string(box.x) +
         ", " + std::to_string(box.y);
}

double decimalSeconds(float seconds) { return parseNumber(singleText(seconds)).value_or(seconds); }

IndiCamera::IndiCamera(std::shared_ptr<IndiConnection> connection, std::shared_ptr<ImageDisplay> display)
    : connection_(std::move(connection)),
      display_(std::move(display)),
      stream_(std::make_unique<IndiFrameStream>(*this)) {}

IndiCamera::~IndiCamera() = default;

void IndiCamera::setLinkEnabled(bool enabled) {
  if (!enabled) {
    if (linkEnabled()) connection_->setDeviceConnected(ccd_, false);
    return;
  }
  // A server or device that went away ended any exposure: its answer will not come.
  if (!linkEnabled()) pending_.reset();
  connection_->ensureConnected();
  ccd_ = connection_->findDevice(connection_->options().ccd, kCcdInterface, "camera");
  if (!connection_->linkDevice(ccd_)) return;  // linkEnabled() reads false: the caller reports it

  const bool complete = connection_->waitUntil(
      [&](const IndiSnapshot& snapshot) {
        const IndiDevice* device = snapshot.device(ccd_);
        if (device == nullptr) return true;
        // CCD_INFO is defined before the driver fills in the sensor size.
        return std::all_of(kCameraProperties.begin(), kCameraProperties.end(),
                           [&](const char* name) { return device->property(name) != nullptr; }) &&
               device->number("CCD_INFO", "CCD_MAX_X").value_or(0) > 0 &&
               device->number("CCD_INFO", "CCD_MAX_Y").value_or(0) > 0;
      },
      connection_->timeouts().reply);
  requireLink();
  if (!complete) {
    throw AutomationError("The INDI device \"" + ccd_ +
                          "\" does not offer CCD_INFO with its sensor size, CCD_FRAME and CCD_EXPOSURE");
  }
  // No camera has such a sensor; its images would not fit the bound on what the server may send.
  if (static_cast<double>(cameraXSize()) * cameraYSize() > kMostSensorPixels) {
    throw AutomationError(
        "The INDI camera \"" + ccd_ + "\" reports a sensor of " + std::to_string(cameraXSize()) + " x " +
        std::to_string(cameraYSize()) + " pixels, more than any observatory camera has (at most " +
        std::to_string(static_cast<long long>(kMostSensorPixels / 1e6)) + " megapixels are taken)");
  }
  setFullFrame();
  prepareDevice();
  connection_->enableImages(ccd_);
}

bool IndiCamera::linkEnabled() {
  if (ccd_.empty()) return false;
  return connection_->read([&](const IndiSnapshot& snapshot) {
    const IndiDevice* device = snapshot.device(ccd_);
    return snapshot.serverConnected && device != nullptr && device->connected();
  });
}

void IndiCamera::requireLink() const {
  const auto [server, device] = connection_->read([&](const IndiSnapshot& snapshot) {
    const IndiDevice* found = snapshot.device(ccd_);
    return std::pair{snapshot.serverConnected, found != nullptr && found->connected()};
  });
  if (!server) throw AutomationError(connection_->lostConnection());
  if (!device) throw AutomationError("The INDI camera \"" + ccd_ + "\" is not connected");
}

// Light frames, unbinned, as FITS, sent to this client: what the star
// measurements expect. Only settings that differ are sent.
void IndiCamera::prepareDevice() {
  struct Wanted {
    const char* property;
    const char* element;  // must be on
    const char* unless;   // ...unless this one is on (empty: no exception)
  };
  static constexpr std::array kWanted = {
      Wanted{"UPLOAD_MODE", "UPLOAD_CLIENT", "UPLOAD_BOTH"},
      Wanted{"CCD_TRANSFER_FORMAT", "FORMAT_FITS", ""},
      Wanted{"CCD_COMPRESSION", "INDI_DISABLED", ""},
      Wanted{"CCD_FRAME_TYPE", "FRAME_LIGHT", ""},
  };
  for (const Wanted& wanted : kWanted) {
    const bool send = connection_->read([&](const IndiSnapshot& snapshot) {
      const IndiDevice* device = snapshot.device(ccd_);
      return device != nullptr && device->property(wanted.property) != nullptr &&
             !device->switchOn(wanted.property, wanted.element) &&
             !(wanted.unless[0] != '\0' && device->switchOn(wanted.property, wanted.unless));
    });
    if (send) connection_->sendSwitch(ccd_, wanted.property, wanted.element);
  }
  const bool binned = connection_->read([&](const IndiSnapshot& snapshot) {
    const IndiDevice* device = snapshot.device(ccd_);
    return device != nullptr && (device->number("CCD_BINNING", "HOR_BIN").value_or(1) != 1 ||
                                 device->number("CCD_BINNING", "VER_BIN").value_or(1) != 1);
  });
  if (binned) connection_->sendNumbers(ccd_, "CCD_BINNING", {{"HOR_BIN", 1}, {"VER_BIN", 1}});
}

int IndiCamera::sensorSize(const char* element) {
  requireLink();
  const auto size = connection_->read([&](const IndiSnapshot& snapshot) {
    const IndiDevice* device = snapshot.device(ccd_);
    return device == nullptr ? std::nullopt : device->number("CCD_INFO", element);
  });
  if (!size) throw AutomationError("The INDI camera \"" + ccd_ + "\" has not reported its sensor size");
  if (!(*size >= 1 && *size <= kMaxSensorSide)) {
    throw AutomationError("The INDI camera \"" + ccd_ + "\" reports CCD_INFO." + element + " = " +
                          doubleText(*size) + ", which is no sensor size (1 to " +
                          std::to_string(kMaxSensorSide) + " pixels)");
  }
  return static_cast<int>(*size);
}

int IndiCamera::cameraXSize() { return sensorSize("CCD_MAX_X"); }
int IndiCamera::cameraYSize() { return sensorSize("CCD_MAX_Y"); }

void IndiCamera::setFullFrame() {
  box_ = SensorBox{0, 0, cameraXSize(), cameraYSize()};
  fullFrame_ = true;
}

// Starting while the previous exposure is still Busy can make the driver
// lose the new one, or send the old one's image after the new one started,
// where it would pass for the new one's. So wait until the driver has ended
// it (as long as it can still take). Only a report after the request counts:
// a loaded driver can take longer to answer than the exposure lasts, and
// until then CCD_EXPOSURE still shows the state from before it.
void IndiCamera::waitUntilIdle() {
  std::chrono::milliseconds left{0};
  std::uint64_t answered = 0;  // CCD_EXPOSURE reports once the driver has answered
  if (pending_) {
    left = std::max(
        left, millisecondsOf(pending_->seconds) -
                  std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - pending_->started));
    answered = pending_->exposureUpdates + 1;
  }
  const auto idle = [&](const IndiSnapshot& snapshot) {
    const IndiDevice* device = snapshot.device(ccd_);
    const IndiProperty* exposure = device == nullptr ? nullptr : device->property("CCD_EXPOSURE");
    return !snapshot.serverConnected || exposure == nullptr ||
           (exposure->updates >= answered && exposure->status != PropertyStatus::busy);
  };
  const bool done = connection_->waitUntil(idle, connection_->timeouts().reply + left);
  requireLink();
  if (!done) throw AutomationError("The INDI camera \"" + ccd_ + "\" is still busy with an earlier exposure");
}

// The camera's current readout box and how often it has reported it.
std::pair<SensorBox, std::uint64_t> IndiCamera::cameraBox() const {
  return connection_->read([&](const IndiSnapshot& snapshot) {
    const IndiDevice* device = snapshot.device(ccd_);
    const IndiProperty* frame = device == nullptr ? nullptr : device->property("CCD_FRAME");
    if (frame == nullptr) return std::pair{SensorBox{}, std::uint64_t{0}};
    return std::pair{boxOf(*frame), frame->updates};
  });
}

// The box goes out only when it differs from the camera's, and the camera's
// answer is awaited: a refused box must not turn into a wrong image. Only a
// report of the new box or a refusal counts as the answer; drivers also
// report the box for reasons of their own. A driver that takes a box and
// refuses it later is caught by the image's size.
// Checked before a box goes out because the simulator, for one, first
// reports a box beyond the sensor as taken and only then refuses it.
void IndiCamera::requireOnSensor(const SensorBox& box) {
  const int width = cameraXSize();
  const int height = cameraYSize();
  if (box.x < 0 || box.y < 0 || box.width < 1 || box.height < 1 || box.x + box.width > width ||
      box.y + box.height > height) {
    throw AutomationError("The readout box " + boxText(box) + " does not lie on the " +
                          std::to_string(width) + " x " + std::to_string(height) +
                          " sensor of the INDI camera \"" + ccd_ + "\"");
  }
}

void IndiCamera::sendBox(const SensorBox& wanted) {
  const auto [current, reports] = cameraBox();
  const std::uint64_t before = reports;  // a lambda below needs it: clang 14 cannot capture a binding
  if (current == wanted) return;
  requireOnSensor(wanted);
  connection_->sendNumbers(
      ccd_, "CCD_FRAME",
      {{"X", wanted.x}, {"Y", wanted.y}, {"WIDTH", wanted.width}, {"HEIGHT", wanted.height}});
  bool refused = false;
  std::string message;
  connection_->waitUntil(
      [&](const IndiSnapshot& snapshot) {
        const IndiDevice* device = snapshot.device(ccd_);
        const IndiProperty* frame = device == nullptr ? nullptr : device->property("CCD_FRAME");
        if (frame == nullptr || !snapshot.serverConnected) return true;
        if (frame->updates <= before || frame->status == PropertyStatus::busy) return false;
        refused = frame->status == PropertyStatus::alert;
        message = device->lastMessage;
        return refused || boxOf(*frame) == wanted;
      },
      connection_->timeouts().reply);
  requireLink();
  if (refused) {
    throw AutomationError("The INDI camera \"" + ccd_ + "\" refused the readout box " + boxText(wanted) +
                          (message.empty() ? "" : ": " + message));
  }
  const SensorBox taken = cameraBox().first;
  if (taken != wanted) {
    throw AutomationError("The INDI camera \"" + ccd_ + "\" did not take the readout box " + boxText(wanted) +
                          " (it reports " + boxText(taken) + ")");
  }
}

void IndiCamera::expose(float seconds) {
  stream_->stopFrames();
  requireLink();
  waitUntilIdle();
  sendBox(box_);
  Exposure next;
  next.box = box_;
  next.fullFrame = fullFrame_;
  next.seconds = seconds;
  next.imageSequence =
      connection_->read([&](const IndiSnapshot& snapshot) { return snapshot.imageSequence(ccd_); });
  next.exposureUpdates = connection_->read([&](const IndiSnapshot& snapshot) -> std::uint64_t {
    const IndiDevice* device = snapshot.device(ccd_);
    const IndiProperty* exposure = device == nullptr ? nullptr : device->property("CCD_EXPOSURE");
    return exposure == nullptr ? 0 : exposure->updates;
  });
  next.started = Clock::now();
  pending_ = next;
  document_.reset();
  connection_->sendNumbers(ccd_, "CCD_EXPOSURE", {{"CCD_EXPOSURE_VALUE", decimalSeconds(seconds)}});
}

void IndiCamera::failExposure(const std::string& reason) {
  pending_.reset();
  throw AutomationError(reason);
}

bool IndiCamera::imageReady() {
  if (!pending_) return document_ != nullptr;

  struct Look {
    bool server = false;
    bool device = false;
    bool failed = false;
    std::string message;
    IndiImage image;
    int sensorWidth = 0;
    int sensorHeight = 0;
  };
  const Look look = connection_->read([&](const IndiSnapshot& snapshot) {
    Look seen;
    seen.server = snapshot.serverConnected;
    const IndiDevice* device = snapshot.device(ccd_);
    if (device == nullptr) return seen;
    seen.device = device->connected();
    seen.message = device->lastMessage;
    const IndiProperty* exposure = device->property("CCD_EXPOSURE");
    seen.failed = exposure != nullptr && exposure->updates > pending_->exposureUpdates &&
                  exposure->status == PropertyStatus::alert;
    if (snapshot.imageSequence(ccd_) > pending_->imageSequence) seen.image = snapshot.images.at(ccd_);
    seen.sensorWidth = pixelsOf(device->number("CCD_INFO", "CCD_MAX_X"));
    seen.sensorHeight = pixelsOf(device->number("CCD_INFO", "CCD_MAX_Y"));
    return seen;
  });

  if (look.image.sequence != 0) return acceptImage(look.image, look.sensorWidth, look.sensorHeight);
  if (!look.server) failExposure(connection_->lostConnection());
  if (!look.device) failExposure("The INDI camera \"" + ccd_ + "\" disconnected during an exposure");
  if (look.failed) {
    failExposure("The INDI camera \"" + ccd_ + "\" reported a failed exposure" +
                 (look.message.empty() ? "" : ": " + look.message));
  }
  const auto limit = millisecondsOf(pending_->seconds) + connection_->timeouts().imageMargin;
  if (Clock::now() - pending_->started > limit) {
    failExposure("No image came from the INDI camera \"" + ccd_ + "\" within " +
                 std::to_string(std::chrono::duration_cast<std::chrono::seconds>(limit).count()) +
                 " s of starting the exposure");
  }
  return false;
}

bool IndiCamera::acceptImage(const IndiImage& received, int sensorWidth, int sensorHeight) {
  const Exposure exposure = *pending_;
  pending_.reset();
  if (!received.error.empty()) throw AutomationError(received.error);
  const stars::Frame& image = received.image->frame;
  // A full frame is whatever the sensor is now: a camera may learn its size
  // only with its first image (the INDI simulator replaying files does).
  const bool wholeSensor = exposure.fullFrame && image.width == sensorWidth && image.height == sensorHeight;
  auto frame = std::make_shared<const stars::Frame>(
      wholeSensor ? image : fitToBox(image, exposure.box, sensorWidth, sensorHeight));
  document_ = std::make_shared<IndiDocument>(received.image, frame, display_);
  display_->clicks.frameArrived(frame);
  if (display_->viewer != nullptr) display_->viewer->showFrame(frame);
  return true;
}

FrameStream* IndiCamera::frameStream() {
  const bool offered = linkEnabled() && connection_->read([&](const IndiSnapshot& snapshot) {
    const IndiDevice* device = snapshot.device(ccd_);
    return device != nullptr && device->property("CCD_VIDEO_STREAM") != nullptr &&
           device->property("CCD_STREAM_FRAME") != nullptr;
  });
  return offered ? stream_.get() : nullptr;
}

std::shared_ptr<ImageDocument> IndiCamera::document() {
  if (document_ == nullptr) throw AutomationError("The INDI camera has no image yet");
  return document_;
}

}  // namespace nebulor::camera::indi
