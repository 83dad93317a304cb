#include "flows/MeasurementCycle.h"

#include <cmath>
#include <ctime>
#include <limits>
#include <memory>
#include <utility>

#include "core/CatchAll.h"
#include "core/FriedParameter.h"
#include "core/NumberParse.h"
#include "core/NumberText.h"
#include "core/ReadingsFeed.h"
#include "core/SeeingHistory.h"
#include "flows/EnterMode.h"
#include "flows/ExposureHeader.h"
#include "flows/ImageWait.h"
#include "flows/StarSelection.h"
#include "measure/ExposureExtrapolation.h"
#include "measure/WindFromExposures.h"
#include "measure/WindResponse.h"

namespace nebulor {

namespace {

std::string unloggedReading(const LogFileError& error) {
  return std::string(error.what()) +
         " - the reading is not in the readings log, which is tried again at the next reading";
}

// "53,48": the whole parts (towards minus infinity) of a position.
std::string coordsText(float x, float y) {
  return singleText(std::floor(x)) + "," + singleText(std::floor(y));
}

}  // namespace

MeasurementCycle::MeasurementCycle(MonitorState& state, MonitorUi& ui, std::string logFolder)
    : state_(state), ui_(ui), logFolder_(std::move(logFolder)) {}

void MeasurementCycle::CommandStartAbort_Click() {
  switch (state_.mode) {
    case ProgramMode::running:
      // The stop request itself: the waiting run notices it and returns.
      state_.stopRequested = kTrue;
      enterMode(state_, ui_, ProgramMode::stopping);
      return;
    case ProgramMode::idle:
      if (state_.stopRequested == kTrue) break;
      // Only after a start-up that could not link the camera (stopRequested
      // never set): the click just makes the program idle.
      state_.stopRequested = kTrue;
      enterMode(state_, ui_, ProgramMode::idle);
      return;
    case ProgramMode::selecting:
    case ProgramMode::stopping:
      return;  // a click queued before the command was disabled
  }
  enterMode(state_, ui_, ProgramMode::running);
  state_.stopRequested = kFalse;
  const std::optional<Failure> failure = runCatchingAll([this] { StartMeasuring(); });
  logFile_.close();
  doubleLog_.close();
  readingsLog_.close();
  state_.stopRequested = kTrue;
  enterMode(state_, ui_, ProgramMode::idle);
  if (failure) ui_.showMessage(failure->reason);
}

void MeasurementCycle::StartMeasuring() {
  // The per-exposure tables hold 200 samples, and the reduction divides by
  // their number; a box exists only after a selection.
  const std::int16_t samples = state_.config.samplesPerReading;
  if (!samplesPerReadingFits(samples)) {
    ui_.showMessage("Exposures per Reading is " + std::to_string(samples) + "; it must lie between 1 and " +
                    std::to_string(kMaxSamples) + ". Please correct it in Setup.");
    return;
  }
  if (state_.starsSelected != kTrue) {
    ui_.showMessage("Please select the two stars first.");
    return;
  }

  camera::Camera& camera = linkedCamera(state_);
  sendSubframe(camera);
  // The raw log is opened with the first exposure's row, so a run that ends
  // before it leaves the previous run's file as it was.
  openReadingsLog([this](const std::string& text) { ui_.showMessage(text); });
  altitudeReported_ = false;
  if (reacquisition_ != nullptr) reacquisition_->runStarted();
  // A run gathers its own wind: the last run's may be hours old, or of
  // another mask. Its response takes a second to build, so it is built
  // meanwhile for the cycle and for frames back to back; frames with gaps
  // between them need their own, built as the first reading ends.
  exposurePairWind_.clear();
  if (state_.fastAcquisition || state_.exposureCorrection) {
    windResponses_ = std::async(std::launch::async, [config = state_.config] {
      WindResponse::forMask(config, 0);
      WindResponse::forMask(config, 1);
    });
  }
  const RunEnd end = measureReadings(camera);
  showRunEnd(end);
  logFile_.close();
  doubleLog_.close();
  readingsLog_.close();
}

void MeasurementCycle::sendSubframe(camera::Camera& camera) {
  camera.setStartX(state_.subframeMinX);
  camera.setNumX(static_cast<std::int16_t>(state_.subframeMaxX - state_.subframeMinX));
  camera.setStartY(state_.subframeMinY);
  camera.setNumY(static_cast<std::int16_t>(state_.subframeMaxY - state_.subframeMinY));
}

MeasurementCycle::RunEnd MeasurementCycle::measureReadings(camera::Camera& camera) {
  for (;;) {
    if (state_.stopRequested == kTrue) return RunEnd::stopped;
    if (!camera.linkEnabled()) return RunEnd::linkLost;
    if (state_.fastAcquisition) return measureFrames(camera);
    ui_.updateDisplay();  // shows the reading completed just before
    logProblem_.reset();
    state_.badSampleCount = 0;
    for (ExposureSeries* series : {&single_, &double_}) {
      series->geometry = {};
      series->airmassSum = 0;
    }

    // Taken once per reading.
    const std::int16_t limit = state_.config.samplesPerReading;
    const bool correcting = state_.exposureCorrection;
    for (state_.sampleIndex = 1; state_.sampleIndex <= limit; ++state_.sampleIndex) {
      if (const std::optional<RunEnd> end = measureSlot(camera, correcting)) return *end;
    }
    completeReading(camera, correcting);
  }
}

// The t exposure of the slot; once it is accepted, the 2t exposure of the
// same slot until that is accepted too, or the reading starts over.
std::optional<MeasurementCycle::RunEnd> MeasurementCycle::measureSlot(camera::Camera& camera,
                                                                      bool correcting) {
  if (const std::optional<RunEnd> end = measureExposure(camera, single_)) return end;
  if (!correcting || !single_.accepted || single_.restarted) return std::nullopt;
  do {
    if (const std::optional<RunEnd> end = measureExposure(camera, double_)) return end;
  } while (!double_.accepted && !double_.restarted);
  return std::nullopt;
}

// The means become the expected positions and the box follows them, unless
// the reading cannot be reduced: then it is skipped as a whole (no history
// entry, the positions and the box stay) and the run goes on, since one bad
// reading (the same star found twice after a cloud, say) must not end a
// night. The reason is shown without a modal box, which would halt the run.
void MeasurementCycle::completeReading(camera::Camera& camera, bool correcting) {
  const ExposureGeometry& geometry = single_.geometry;
  const auto referenceX = state_.starX;
  const auto referenceY = state_.starY;
  const bool means = StoreMeanPositions(state_);  // false: the reduction names the reason
  if (const std::optional<Failure> failure = ReduceReading(state_, geometry)) {
    state_.starX = referenceX;
    state_.starY = referenceY;
    ui_.showSkippedReading("Reading skipped: " + failure->reason);
    return;
  }
  if (!logProblem_) ui_.showSkippedReading("");
  const std::optional<SeeingEstimate> best = bestEstimate(correcting);
  state_.bestSeeing = best ? best->seeing : 0;
  state_.bestSeeingError = best ? best->error : 0;
  logReading(single_.airmassSum / state_.config.samplesPerReading);
  if (means) {
    UpdateSubframe(state_, camera);
    sendSubframe(camera);
  }
}

// The 2t exposures are reduced like the t ones, in their own tables, for
// their directions alone; with the t ones they give the wind, whose kept
// share of the motion corrects the best estimate (or, for comparison, the
// fixed extrapolation does).
std::optional<SeeingEstimate> MeasurementCycle::bestEstimate(bool correcting) {
  state_.coherence.reset();
  state_.bestExposure = state_.config.measurementExposure;  // as exposed, unless corrected below
  if (!correcting) {
    state_.coherenceUnknown =
        "the wind is measured with fast acquisition or with the exposure-time correction";
    return EstimateSeeing(state_, single_.geometry);
  }
  doubled_.config = state_.config;
  if (!StoreMeanPositions(doubled_) || ReduceReading(doubled_, double_.geometry)) {
    state_.coherenceUnknown = "the exposures of 2t could not be reduced";
    return std::nullopt;
  }
  const auto single = EstimateDirections(state_, single_.geometry);
  const auto twice = EstimateDirections(doubled_, double_.geometry);
  const WindCorrection wind =
      exposurePairWind_.correct(single, twice, state_.config.measurementExposure, state_.config);
  state_.coherence = wind.coherence;
  state_.coherenceUnknown = wind.unknown;
  if (state_.fixedExtrapolation || wind.best) {
    state_.bestExposure = 0;
    return state_.fixedExtrapolation ? ExtrapolateToZeroExposure(single, twice) : wind.best;
  }
  return CombineDirections(single);  // until the wind is known, the estimate as exposed
}

void MeasurementCycle::logReading(double airmass) {
  const int n = readingLength(state_);
  Reading reading;
  reading.time = WallClock::now();  // to the sub-second, for the time since the last update
  reading.utcOffset = utcOffsetAt(reading.seconds());
  reading.airmass = airmass;
  const float seeing = state_.fwhmHistory[latestHistorySlot(state_.historyCount)];
  reading.seeing = seeing;
  reading.r0 = r0Centimetres(state_.config.wavelength, seeing);
  reading.longStdDev = state_.longStdDev;
  reading.transStdDev = state_.transStdDev;
  reading.exposuresUsed = n;
  reading.exposuresRejected = state_.badSampleCount;
  reading.seeingError = seeingError(seeing, n);
  // Neighbouring frames are correlated: the count of frames overstates the
  // precision, and the best estimate's error, from their scatter, is the honest one.
  if (state_.fastAcquisition && state_.bestSeeing > 0) {
    reading.seeingError = seeing * state_.bestSeeingError / state_.bestSeeing;
  }
  reading.wavelength = writtenWavelength(state_.config);
  if (state_.bestSeeing > 0) {
    reading.best = state_.bestSeeing;
    reading.bestError = state_.bestSeeingError;
    reading.bestExposure = state_.bestExposure;
  }
  if (state_.coherence) {
    reading.tau0 = state_.coherence->tau0;
    if (reading.tau0) reading.tau0Error = state_.coherence->tau0Error;
    reading.wind = state_.coherence->wind;
    reading.windError = state_.coherence->windError;
  }
  // Tried again at every reading; the raw log, which holds the whole night, goes on meanwhile.
  const auto report = [this](const std::string& text) { ui_.showSkippedReading(text); };
  if (!readingsLog_.isOpen()) openReadingsLog(report);
  if (readingsLog_.isOpen()) {
    try {
      readingsLog_.write(reading);
    } catch (const LogFileError& error) {
      reportLogProblem(unloggedReading(error));
    }
  }
  if (state_.feed != nullptr) state_.feed->publish(reading);
}

// A readings log that cannot be written does not end the run: the problem is
// shown as a skipped reading is, so nothing halts the exposures.
void MeasurementCycle::openReadingsLog(const std::function<void(const std::string&)>& report) {
  try {
    if (const std::optional<Notice> notice = readingsLog_.open(logFolder_)) report(notice->text);
  } catch (const LogFileError& error) {
    ui_.showSkippedReading(unloggedReading(error));
  }
}

// The exposure's row, the log begun with the run's first; a row that cannot
// be written ends nothing.
void MeasurementCycle::logRow(RawLog& log, double airmass, const std::array<float, 3>& x,
                              const std::array<float, 3>& y) {
  if (!log.isOpen()) {
    // Said without a modal box: the exposures go on.
    if (const std::optional<Notice> notice = log.open(logFolder_)) ui_.showSkippedReading(notice->text);
  }
  try {
    log.writeRow(localTimeOf(std::time(nullptr)), airmass, x[1], y[1], x[2], y[2]);
  } catch (const LogFileError& error) {
    reportLogProblem(std::string(error.what()) +
                     " - the measurement goes on, and the logs are written again once there is room");
  }
}

// A row that could not be written (a full disk) is said once a reading, as a
// skipped reading is: at a frame rate a line per row would drown the rest.
void MeasurementCycle::reportLogProblem(const std::string& text) {
  if (logProblem_) return;
  logProblem_ = text;
  ui_.showSkippedReading(text);
}

// One pass of the exposure loop. Returns how the run ends, or nothing when
// the loop goes on (the exposure accepted, or rejected and, when counted,
// its slot stepped back).
std::optional<MeasurementCycle::RunEnd> MeasurementCycle::measureExposure(camera::Camera& camera,
                                                                          ExposureSeries& series) {
  series.accepted = false;
  series.restarted = false;
  ExposureGeometry& geometry = series.geometry;
  camera.expose(series.factor * state_.config.measurementExposure);
  // The exposure in progress is not cancelled by a stop; its reading is discarded.
  if (!WaitForImage(camera, ui_, [this] { return state_.stopRequested == kTrue; })) return RunEnd::stopped;

  const std::shared_ptr<camera::ImageDocument> document = camera.document();
  try {
    document->prepare();
  } catch (const camera::AutomationError&) {
    // Preparing the image is a courtesy to the application; reading it works without it.
  }

  const ExposureHeader header = readExposureHeader(*document);
  if (header.altitudeUnusable && !altitudeReported_) {
    // Once per run: every later reading would be silently worked out as at
    // the zenith. Shown as a skipped reading is, so the exposures go on.
    altitudeReported_ = true;
    ui_.showSkippedReading(
        "The image header's OBJCTALT is not a number, so the airmass is taken as 1 (as at the zenith) for "
        "every exposure whose altitude cannot be read. Please check " +
        applicationName() + " setup.");
  }
  if ((headerProblem_ = header.implausible)) return RunEnd::implausibleHeader;
  if (!header.focalLength) return RunEnd::noFocalLength;
  if (!header.pixelSize) return RunEnd::noPixelSize;
  geometry.airmass = header.altitude ? CalcAirmass(*header.altitude) : 1.0;
  geometry.focalLength = static_cast<float>(*header.focalLength);
  geometry.pixelSize = static_cast<float>(*header.pixelSize);

  const int n = state_.sampleIndex;
  MonitorState& samples = series.samples;
  bool clean[3] = {};
  for (int star = 1; star <= 2; ++star) {
    const stars::Centroid centroid = document->centroidNear(
        roundToInt16(state_.starX[star]), roundToInt16(state_.starY[star]), camera::PassBy::value);
    // A saturated star image or one cut by an edge counts as not detected
    // well enough, whatever its score.
    clean[star] = centroid.clean();
    samples.sampleX[star][n] = static_cast<float>(centroid.x);
    samples.sampleY[star][n] = static_cast<float>(centroid.y);
    samples.sampleError[star][n] = static_cast<float>(centroid.error);
  }
  logRow(series.log, geometry.airmass, {0, samples.sampleX[1][n], samples.sampleX[2][n]},
         {0, samples.sampleY[1][n], samples.sampleY[2][n]});

  const bool accepted = clean[1] && clean[2];
  series.accepted = accepted;
  if (accepted) {
    series.airmassSum += geometry.airmass;
    if (series.counted) {
      showExposureReadouts({0, state_.sampleX[1][n], state_.sampleX[2][n]},
                           {0, state_.sampleY[1][n], state_.sampleY[2][n]});
    }
  } else {
    // Counted (without wrapping round) and measured again in the same slot.
    // The share is shown at once: under clouds no reading completes, and
    // the window must not look as if nothing were happening.
    if (series.counted) {
      if (state_.badSampleCount < std::numeric_limits<std::int16_t>::max()) ++state_.badSampleCount;
      --state_.sampleIndex;
    }
    ui_.showRejectedShare();
  }
  const auto stopped = [this] { return state_.stopRequested == kTrue; };
  if (reacquisition_ != nullptr && reacquisition_->afterExposure(accepted, stopped)) {
    if (stopped() || ui_.windowClosing()) return RunEnd::stopped;
    // The camera read a full frame and the box may have moved: the reading
    // starts over in the box.
    sendSubframe(camera);
    state_.sampleIndex = 0;  // the loop's step brings it to 1
    state_.badSampleCount = 0;
    series.restarted = true;
  }
  return std::nullopt;
}

std::string MeasurementCycle::applicationName() const {
  return state_.maximApp != nullptr ? state_.maximApp->name() : std::string("the imaging application");
}

void MeasurementCycle::showExposureReadouts(const std::array<float, 3>& x, const std::array<float, 3>& y) {
  for (int star = 1; star <= 2; ++star) {
    ui_.setStarCoords(star, coordsText(x[star], y[star]));
    const double dx = x[star] - state_.starX[star];
    const double dy = y[star] - state_.starY[star];
    ui_.setStarMoved(star, TruncateDecimals(std::sqrt(dx * dx + dy * dy), 1));
  }
}

void MeasurementCycle::showRunEnd(RunEnd end) {
  switch (end) {
    case RunEnd::stopped:
      return;
    case RunEnd::linkLost:
      ui_.showMessage("Camera disconnected.");
      return;
    case RunEnd::noFocalLength:
      ui_.showMessage("Unable to read focal length from exposure - please check " + applicationName() +
                      " setup");
      return;
    case RunEnd::noPixelSize:
      ui_.showMessage("Unable to read pixel size from exposure - please check " + applicationName() +
                      " setup");
      return;
    case RunEnd::implausibleHeader:
      ui_.showMessage(headerProblem_ ? headerProblem_->reason : "");
      return;
  }
}

}  // namespace nebulor
