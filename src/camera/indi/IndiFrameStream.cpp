#include "camera/indi/IndiFrameStream.h"

#include <tuple>

#include "camera/indi/IndiCamera.h"
#include "camera/indi/IndiHeaderValues.h"

namespace nebulor::camera::indi {

namespace {

// The image window shows the stream at this pace, not at the frame rate.
constexpr auto kShowInterval = std::chrono::milliseconds(250);

std::uint64_t updatesOf(const IndiSnapshot& snapshot, const std::string& device, const char* property) {
  const IndiDevice* found = snapshot.device(device);
  const IndiProperty* values = found == nullptr ? nullptr : found->property(property);
  return values == nullptr ? 0 : values->updates;
}

}  // namespace

IndiFrameStream::IndiFrameStream(IndiCamera& camera) : camera_(camera) {}

IndiFrameStream::~IndiFrameStream() {
  if (queue_ == nullptr) return;
  camera_.connection_->setFrameQueue(camera_.ccd_, nullptr);
  camera_.connection_->sendSwitch(camera_.ccd_, "CCD_VIDEO_STREAM", "STREAM_OFF");
}

bool IndiFrameStream::offers(const char* property) const {
  return camera_.connection_->read([&](const IndiSnapshot& snapshot) {
    const IndiDevice* device = snapshot.device(camera_.ccd_);
    return device != nullptr && device->property(property) != nullptr;
  });
}

void IndiFrameStream::setNumbers(const char* property,
                                 const std::vector<std::pair<std::string, double>>& values) {
  IndiConnection& connection = *camera_.connection_;
  const std::string& ccd = camera_.ccd_;
  const std::uint64_t before =
      connection.read([&](const IndiSnapshot& snapshot) { return updatesOf(snapshot, ccd, property); });
  connection.sendNumbers(ccd, property, values);
  const bool answered = connection.waitUntil(
      [&](const IndiSnapshot& snapshot) {
        const IndiDevice* device = snapshot.device(ccd);
        const IndiProperty* answer = device == nullptr ? nullptr : device->property(property);
        return !snapshot.serverConnected || answer == nullptr ||
               (answer->updates > before && answer->status != PropertyStatus::busy);
      },
      connection.timeouts().reply);
  camera_.requireLink();
  const auto [refused, message] = connection.read([&](const IndiSnapshot& snapshot) {
    const IndiDevice* device = snapshot.device(ccd);
    const IndiProperty* answer = device == nullptr ? nullptr : device->property(property);
    return std::pair{answer != nullptr && answer->status == PropertyStatus::alert,
                     device == nullptr ? std::string() : device->lastMessage};
  });
  if (!answered || refused) {
    throw AutomationError("The INDI camera \"" + ccd + "\" " + (answered ? "refused " : "did not answer ") +
                          property + (refused && !message.empty() ? ": " + message : ""));
  }
}

// The region goes out after the whole-sensor readout box has been taken:
// a new readout size resets the driver's region.
void IndiFrameStream::sendRegion() {
  const SensorBox region = camera_.box_;
  camera_.requireOnSensor(region);
  setNumbers("CCD_STREAM_FRAME",
             {{"X", region.x}, {"Y", region.y}, {"WIDTH", region.width}, {"HEIGHT", region.height}});
  const SensorBox taken = camera_.connection_->read([&](const IndiSnapshot& snapshot) {
    const IndiDevice* device = snapshot.device(camera_.ccd_);
    const auto value = [&](const char* element) {
      const auto number = device == nullptr ? std::nullopt : device->number("CCD_STREAM_FRAME", element);
      return static_cast<int>(number.value_or(-1));
    };
    return SensorBox{value("X"), value("Y"), value("WIDTH"), value("HEIGHT")};
  });
  if (taken != region) {
    throw AutomationError("The INDI camera \"" + camera_.ccd_ + "\" did not take the stream region " +
                          boxText(region) + " (it reports " + boxText(taken) + ")");
  }
}

void IndiFrameStream::startFrames(float exposure) {
  stopFrames();
  camera_.requireLink();
  camera_.waitUntilIdle();
  IndiConnection& connection = *camera_.connection_;
  const std::string& ccd = camera_.ccd_;
  camera_.sendBox(SensorBox{0, 0, camera_.cameraXSize(), camera_.cameraYSize()});

  const bool raw = connection.read([&](const IndiSnapshot& snapshot) {
    const IndiDevice* device = snapshot.device(ccd);
    return device == nullptr || device->property("CCD_STREAM_ENCODER") == nullptr ||
           device->switchOn("CCD_STREAM_ENCODER", "RAW");
  });
  if (!raw) connection.sendSwitch(ccd, "CCD_STREAM_ENCODER", "RAW");
  if (offers("STREAMING_EXPOSURE")) {
    setNumbers("STREAMING_EXPOSURE",
               {{"STREAMING_EXPOSURE_VALUE", decimalSeconds(exposure)}, {"STREAMING_DIVISOR_VALUE", 1}});
  }
  if (offers("LIMITS")) setNumbers("LIMITS", {{"LIMITS_PREVIEW_FPS", kMostPreviewFps}});
  sendRegion();

  queue_ = std::make_shared<IndiFrameQueue>();
  connection.setFrameQueue(ccd, queue_);
  exposure_ = exposure;
  const std::uint64_t before = connection.read(
      [&](const IndiSnapshot& snapshot) { return updatesOf(snapshot, ccd, "CCD_VIDEO_STREAM"); });
  connection.sendSwitch(ccd, "CCD_VIDEO_STREAM", "STREAM_ON");
  // Streaming is answered Busy: the answer is any report after the request.
  const bool answered = connection.waitUntil(
      [&](const IndiSnapshot& snapshot) {
        return !snapshot.serverConnected || updatesOf(snapshot, ccd, "CCD_VIDEO_STREAM") > before;
      },
      connection.timeouts().reply);
  lastFrame_ = Clock::now();
  camera_.requireLink();
  if (!answered) throw AutomationError("The INDI camera \"" + ccd + "\" did not answer STREAM_ON");
  failWhenStopped();
}

// Why no frame will come, thrown; nothing when frames may still come.
void IndiFrameStream::failWhenStopped() const {
  const std::string& ccd = camera_.ccd_;
  camera_.requireLink();
  const auto [on, alert, message] = camera_.connection_->read([&](const IndiSnapshot& snapshot) {
    const IndiDevice* device = snapshot.device(ccd);
    const IndiProperty* stream = device == nullptr ? nullptr : device->property("CCD_VIDEO_STREAM");
    return std::tuple{device != nullptr && device->switchOn("CCD_VIDEO_STREAM", "STREAM_ON"),
                      stream != nullptr && stream->status == PropertyStatus::alert,
                      device == nullptr ? std::string() : device->lastMessage};
  });
  if (!on || alert) {
    throw AutomationError("The INDI camera \"" + ccd + "\" " +
                          (alert ? "failed to stream" : "stopped streaming") +
                          (message.empty() ? "" : ": " + message));
  }
  const auto limit = std::chrono::duration<double>(exposure_) + camera_.connection_->timeouts().imageMargin;
  if (Clock::now() - lastFrame_ > limit) {
    throw AutomationError("No stream frame came from the INDI camera \"" + ccd + "\" within " +
                          std::to_string(std::chrono::duration_cast<std::chrono::seconds>(limit).count()) +
                          " s");
  }
}

std::optional<StreamFrame> IndiFrameStream::nextFrame() {
  if (queue_ == nullptr) throw AutomationError("The INDI camera's video stream has not been started");
  std::optional<ReceivedFrame> received = queue_->pop();
  if (!received) {
    failWhenStopped();
    return std::nullopt;
  }
  if (!received->error.empty()) throw AutomationError(received->error);
  lastFrame_ = Clock::now();
  const HeaderValues header = camera_.connection_->read([&](const IndiSnapshot& snapshot) {
    return headerValues(snapshot, camera_.ccd_, std::chrono::system_clock::now());
  });
  if (camera_.display_->viewer != nullptr && lastFrame_ - lastShown_ >= kShowInterval) {
    lastShown_ = lastFrame_;
    camera_.display_->viewer->showFrame(received->pixels);
  }
  return StreamFrame{received->pixels, received->arrival,  received->sequence, exposure_,
                     header.altitude,  header.focalLength, header.pixelWidth,  header.pixelHeight};
}

void IndiFrameStream::stopFrames() {
  if (queue_ == nullptr) return;
  IndiConnection& connection = *camera_.connection_;
  const std::string& ccd = camera_.ccd_;
  connection.setFrameQueue(ccd, nullptr);
  queue_.reset();
  if (!camera_.linkEnabled()) return;
  const std::uint64_t before = connection.read(
      [&](const IndiSnapshot& snapshot) { return updatesOf(snapshot, ccd, "CCD_VIDEO_STREAM"); });
  connection.sendSwitch(ccd, "CCD_VIDEO_STREAM", "STREAM_OFF");
  // A single exposure must not start while the driver still streams.
  connection.waitUntil(
      [&](const IndiSnapshot& snapshot) {
        return !snapshot.serverConnected || updatesOf(snapshot, ccd, "CCD_VIDEO_STREAM") > before;
      },
      connection.timeouts().reply);
}

}  // namespace nebulor::camera::indi
