#include "flows/FastAcquisition.h"

#include <cmath>
#include <limits>

#include "core/NumberText.h"
#include "flows/ExposureHeader.h"
#include "flows/ExposuresBackToBack.h"
#include "flows/MeasurementCycle.h"
#include "flows/StarSelection.h"
#include "measure/WindFromFrames.h"
#include "stars/StarFinder.h"

namespace nebulor {

namespace {

using Clock = std::chrono::steady_clock;

// Stops the camera's frames however the run ends.
class FramesRunning {
 public:
  FramesRunning(camera::FrameStream& frames, float exposure) : frames_(frames) {
    frames_.startFrames(exposure);
  }
  ~FramesRunning() {
    try {
      frames_.stopFrames();
    } catch (const camera::AutomationError&) {
      // The run is ending anyway; whatever ended it is what the user is told.
    }
  }
  FramesRunning(const FramesRunning&) = delete;
  FramesRunning& operator=(const FramesRunning&) = delete;

  // The box moved: the frames follow it.
  void restart(float exposure) {
    frames_.stopFrames();
    frames_.startFrames(exposure);
  }

 private:
  camera::FrameStream& frames_;
};

}  // namespace

MeasurementCycle::RunEnd MeasurementCycle::measureFrames(camera::Camera& camera) {
  ExposuresBackToBack backToBack(camera);
  camera::FrameStream& source = camera.frameStream() != nullptr ? *camera.frameStream() : backToBack;
  const float exposure = state_.config.measurementExposure;
  FramesRunning running(source, exposure);
  const auto stopped = [this] { return state_.stopRequested == kTrue || ui_.windowClosing(); };
  for (;;) {
    if (stopped()) return RunEnd::stopped;
    if (!camera.linkEnabled()) return RunEnd::linkLost;
    ui_.updateDisplay();  // shows the reading completed just before
    logProblem_.reset();
    state_.badSampleCount = 0;
    state_.readingExposures = 0;
    frames_.clear();
    ExposureGeometry geometry;
    float frameExposure = exposure;
    double start = std::numeric_limits<double>::quiet_NaN();
    Clock::time_point shown = Clock::now();
    for (;;) {
      const std::optional<camera::StreamFrame> frame = source.nextFrame();
      if (Clock::now() - shown >= kFastRefresh || !frame) {
        ui_.dispatchEvents();  // a stop click may run in there
        if (stopped()) return RunEnd::stopped;
      }
      if (!frame) {
        ui_.sleep(kFrameWait);
        continue;
      }
      bool accepted = false;
      if (const std::optional<RunEnd> end = measureFrame(*frame, geometry, accepted)) return *end;
      if (Clock::now() - shown >= kFastRefresh) {
        shown = Clock::now();
        ui_.showRejectedShare();
      }
      if (reacquisition_ != nullptr && reacquisition_->afterExposure(accepted, stopped)) {
        if (stopped()) return RunEnd::stopped;
        // A full frame was read and the box may have moved: the reading starts over in it.
        sendSubframe(camera);
        running.restart(exposure);
        frames_.clear();
        state_.badSampleCount = 0;
        state_.readingExposures = 0;
        start = std::numeric_limits<double>::quiet_NaN();
        continue;
      }
      if (std::isnan(start)) start = frame->arrival;
      frameExposure = frame->exposure;
      if (frame->arrival - start >= kFastReadingSeconds || frames_.size() >= kMaxSeries) break;
    }
    completeFrameReading(camera, geometry, frameExposure);
    sendSubframe(camera);
    running.restart(exposure);
  }
}

// One frame measured as an exposure is: its header values checked, both
// stars found near their expected positions, its row logged; accepted into
// the reading when both are found cleanly.
std::optional<MeasurementCycle::RunEnd> MeasurementCycle::measureFrame(const camera::StreamFrame& frame,
                                                                       ExposureGeometry& geometry,
                                                                       bool& accepted) {
  if (frame.pixels == nullptr) throw camera::AutomationError("The camera sent a frame without pixels.");
  const ExposureHeader header =
      checkExposureHeader(frame.altitude, frame.focalLength, frame.pixelWidth, frame.pixelHeight);
  if ((headerProblem_ = header.implausible)) return RunEnd::implausibleHeader;
  if (!header.focalLength) return RunEnd::noFocalLength;
  if (!header.pixelSize) return RunEnd::noPixelSize;
  const double airmass = header.altitude ? CalcAirmass(*header.altitude) : 1.0;
  geometry.focalLength = static_cast<float>(*header.focalLength);
  geometry.pixelSize = static_cast<float>(*header.pixelSize);

  std::array<float, 3> x{};
  std::array<float, 3> y{};
  std::array<float, 3> error{};
  bool clean = true;
  for (int star = 1; star <= 2; ++star) {
    const stars::Centroid centroid = stars::findStarNear(*frame.pixels, roundToInt16(state_.starX[star]),
                                                         roundToInt16(state_.starY[star]));
    clean = clean && centroid.clean();
    x[star] = static_cast<float>(centroid.x);
    y[star] = static_cast<float>(centroid.y);
    error[star] = static_cast<float>(centroid.error);
  }
  logRow(logFile_, airmass, x, y);
  accepted = clean;
  if (clean) {
    frames_.add(x, y, error, airmass, frame.sequence, frame.arrival);
    state_.readingExposures = frames_.size();
    geometry.airmass = frames_.meanAirmass();
    if (frames_.size() % 50 == 1) showExposureReadouts(x, y);
  } else if (state_.badSampleCount < std::numeric_limits<std::int16_t>::max()) {
    ++state_.badSampleCount;
  }
  return std::nullopt;
}

// The whole reading reduced by the classical formula, and the best estimate
// with the error its correlated frames allow; a reading that cannot be
// reduced is skipped as in the exposure cycle.
void MeasurementCycle::completeFrameReading(camera::Camera& camera, const ExposureGeometry& geometry,
                                            float exposure) {
  const int n = frames_.size();
  const PositionSeries positions = frames_.positions();
  std::array<float, 3> meanX{};
  std::array<float, 3> meanY{};
  for (int star = 1; star <= 2 && n > 0; ++star) {
    meanX[star] = meanPosition(positions.x[star], n);
    meanY[star] = meanPosition(positions.y[star], n);
  }
  ReducedMotion reduced;
  if (const std::optional<Failure> failure =
          n < 2 ? std::optional<Failure>{Failure{
                      "the reading holds fewer than 2 frames with both stars found."}}
                : reduceMotion(positions, meanX, meanY, state_.config, geometry, reduced)) {
    ui_.showSkippedReading("Reading skipped: " + failure->reason);
    return;
  }
  if (!logProblem_) ui_.showSkippedReading("");
  state_.starX = meanX;
  state_.starY = meanY;
  enterReading(state_, reduced);
  const MotionSeries motion = frames_.motion(reduced);
  const WindCorrection wind = CorrectFramesByWind(motion, frames_.timing(exposure), state_.config, geometry);
  state_.coherence = wind.coherence;
  state_.coherenceUnknown = wind.unknown;
  // Corrected when asked and the frames tell the wind; else as exposed.
  const bool corrected = state_.exposureCorrection && wind.best;
  const std::optional<SeeingEstimate> best =
      corrected ? wind.best : EstimateSeeingOfSeries(motion, state_.config, geometry);
  state_.bestSeeing = best ? best->seeing : 0;
  state_.bestSeeingError = best ? best->error : 0;
  state_.bestExposure = corrected ? 0 : exposure;
  logReading(geometry.airmass);
  UpdateSubframe(state_, camera);
}

}  // namespace nebulor
