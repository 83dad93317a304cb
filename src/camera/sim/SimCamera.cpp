#include "camera/sim/SimCamera.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace nebulor::camera::sim {
namespace {

// The pixel noise has a stream of its own, so the motion of the stars does
// not depend on how many pixels each exposure reads.
constexpr std::uint64_t kNoiseStream = 0x9e3779b97f4a7c15ULL;

}  // namespace

SimCamera::SimCamera(const SimSettings& settings, std::shared_ptr<ImageDisplay> view)
    : settings_(settings),
      view_(std::move(view)),
      clock_(settings.timing),
      seeing_(settings),
      scene_(settings, seeing_),
      renderer_(settings, seeing_.psfSigma()),
      noise_(settings.seed ^ kNoiseStream),
      numX_(static_cast<std::int16_t>(settings.width)),
      numY_(static_cast<std::int16_t>(settings.height)) {}

// An operation counts with the exposure it reads (image ready, document:
// the latest) or prepares (all others: the next), so the first `failAfter`
// exposures run without a failure from start to finish.
void SimCamera::check(SimOperation operation) const {
  const bool readsLatest = operation == SimOperation::imageReady || operation == SimOperation::document;
  settings_.faults.check(operation, readsLatest && exposures_ > 0 ? exposures_ - 1 : exposures_);
}

void SimCamera::setLinkEnabled(bool enabled) { linked_ = enabled && !settings_.linkFails; }

bool SimCamera::linkEnabled() {
  const bool lost = settings_.linkLostAfter > 0 && exposures_ >= settings_.linkLostAfter;
  return linked_ && !lost;
}

void SimCamera::setDisableAutoShutdown(bool /*disable*/) {}  // the simulator never shuts down

int SimCamera::cameraXSize() {
  check(SimOperation::sensorSize);
  return settings_.width;
}

int SimCamera::cameraYSize() {
  check(SimOperation::sensorSize);
  return settings_.height;
}

void SimCamera::setFullFrame() {
  check(SimOperation::fullFrame);
  startX_ = 0;
  startY_ = 0;
  numX_ = static_cast<std::int16_t>(settings_.width);
  numY_ = static_cast<std::int16_t>(settings_.height);
}

void SimCamera::setStartX(std::int16_t x) {
  check(SimOperation::subframe);
  startX_ = x;
}

void SimCamera::setNumX(std::int16_t width) {
  check(SimOperation::subframe);
  numX_ = width;
}

void SimCamera::setStartY(std::int16_t y) {
  check(SimOperation::subframe);
  startY_ = y;
}

void SimCamera::setNumY(std::int16_t height) {
  check(SimOperation::subframe);
  numY_ = height;
}

// A subframe reaching past the sensor's far edges is cut there; one that
// starts off the sensor or has no size cannot be read at all.
SensorBox SimCamera::readoutRegion() const {
  if (startX_ < 0 || startY_ < 0 || startX_ >= settings_.width || startY_ >= settings_.height || numX_ <= 0 ||
      numY_ <= 0) {
    throw AutomationError("The camera cannot read the subframe starting at " + std::to_string(startX_) +
                          ", " + std::to_string(startY_) + " of " + std::to_string(numX_) + " x " +
                          std::to_string(numY_) + " pixels: it does not lie on the " +
                          std::to_string(settings_.width) + " x " + std::to_string(settings_.height) +
                          " sensor.");
  }
  return {startX_, startY_, std::min<int>(numX_, settings_.width - startX_),
          std::min<int>(numY_, settings_.height - startY_)};
}

void SimCamera::expose(float seconds) {
  check(SimOperation::expose);
  scene_.setFrameInterval(0);  // a single exposure sees fresh air
  if (!linkEnabled()) throw AutomationError("The camera is not linked.");
  if (!std::isfinite(seconds) || seconds < 0) {
    throw AutomationError("The camera cannot expose for " + std::to_string(seconds) + " seconds.");
  }
  const SensorBox region = readoutRegion();
  const double start = clock_.now();
  const double readout = settings_.readout * (static_cast<double>(region.width) * region.height) /
                         (static_cast<double>(settings_.width) * settings_.height);
  pending_ = render(start, seconds);
  pendingDue_ = start + seconds + readout;
  clock_.busyUntil(pendingDue_);
}

std::shared_ptr<SimDocument> SimCamera::render(double start, float seconds) {
  const sky::SceneState scene = scene_.next(start + seconds / 2.0, seconds);
  freshAir_ = scene.freshAir;
  auto frame = std::make_shared<stars::Frame>(renderer_.render(scene, readoutRegion(), seconds, noise_));
  const SimHeader header{scene.altitude, settings_.focalLength, settings_.pixelSize, settings_.missingKeys,
                         stars::NoiseModel{settings_.gain, settings_.readNoise}};
  ++exposures_;
  return std::make_shared<SimDocument>(std::move(frame), header, view_, settings_.faults, exposures_);
}

void SimCamera::Stream::startFrames(float exposure) {
  camera_.check(SimOperation::expose);
  if (!camera_.linkEnabled()) throw AutomationError("The camera is not linked.");
  exposure_ = std::min(exposure, static_cast<float>(1 / camera_.settings_.stream));
  next_ = camera_.clock_.now();
  running_ = true;
  camera_.scene_.setFrameInterval(1 / camera_.settings_.stream);
}

std::optional<StreamFrame> SimCamera::Stream::nextFrame() {
  if (!running_) return std::nullopt;
  const double interval = 1 / camera_.settings_.stream;
  camera_.clock_.busyUntil(next_ + interval);  // instant timing: the frame is there at once
  if (camera_.clock_.now() < next_ + interval) return std::nullopt;
  camera_.check(SimOperation::expose);
  if (!camera_.linkEnabled()) throw AutomationError("The camera is not linked.");
  const std::shared_ptr<SimDocument> document = camera_.render(next_, exposure_);
  StreamFrame frame;
  frame.pixels = document->frame();
  frame.arrival = next_ + interval;
  // A frame in fresh air is no neighbour of the one before: the count
  // skips one, as for a frame dropped.
  sequence_ += camera_.freshAir_ ? 2 : 1;
  frame.sequence = sequence_;
  frame.exposure = exposure_;
  // What the device's properties say, as a stream has no header: the same values, the same gaps.
  const auto property = [&document](const char* keyword) -> std::optional<double> {
    const std::optional<FitsValue> value = document->fitsKey(keyword);
    if (const double* number = value ? std::get_if<double>(&*value) : nullptr) return *number;
    return std::nullopt;
  };
  frame.altitude = property("OBJCTALT");
  frame.focalLength = property("FOCALLEN");
  frame.pixelWidth = property("XPIXSZ");
  frame.pixelHeight = property("YPIXSZ");
  next_ += interval;
  // The image window shows a few frames a second: painting each would cost more than measuring it.
  if (frame.arrival - shown_ >= 0.2 && camera_.view_->viewer != nullptr) {
    shown_ = frame.arrival;
    camera_.view_->viewer->showFrame(frame.pixels);
  }
  return frame;
}

void SimCamera::deliverIfDue() {
  if (!pending_ || clock_.now() < pendingDue_) return;
  latest_ = std::move(pending_);
  pending_.reset();
  view_->clicks.frameArrived(latest_->frame());
  if (view_->viewer != nullptr) view_->viewer->showFrame(latest_->frame());
}

bool SimCamera::imageReady() {
  check(SimOperation::imageReady);
  deliverIfDue();
  return !pending_ && latest_;
}

std::shared_ptr<ImageDocument> SimCamera::document() {
  check(SimOperation::document);
  deliverIfDue();
  if (!latest_) throw AutomationError("The camera has no image yet.");
  return latest_;
}

}  // namespace nebulor::camera::sim
