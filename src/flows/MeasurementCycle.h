#pragma once

#include <array>
#include <functional>
#include <future>
#include <optional>
#include <string>

#include "camera/Automation.h"
#include "core/MonitorState.h"
#include "core/MonitorUi.h"
#include "flows/Reacquisition.h"
#include "measure/BestEstimate.h"
#include "measure/FrameSeries.h"
#include "measure/RawLog.h"
#include "measure/ReadingsLog.h"
#include "measure/SeeingReduction.h"
#include "measure/WindFromExposures.h"

namespace nebulor {

// The measurement cycle: the start/stop command and the run it starts.
//
// Walkthrough of one run. A click on "Start Monitoring" while idle
// (stopRequested True) captions the button "Stop Monitoring", disables
// "Select Stars" and "Setup", clears stopRequested and calls StartMeasuring,
// which returns only when the run has ended. StartMeasuring sends the box
// built by the star selection to the camera and opens the readings log; the
// raw log starts afresh with the first exposure's row (the previous run's
// file moved aside).
// Then the reading loop: at the top of every reading it checks the stop
// flag and the camera link, refreshes the window (which shows the reading
// completed just before) and resets the rejected count. The exposure loop
// then fills samples 1..samplesPerReading: expose, wait for the image
// (sleeping 100 ms and dispatching window events between polls: the one
// place where a stop click can run), read OBJCTALT, FOCALLEN, XPIXSZ and
// YPIXSZ from the header, measure both stars near their expected positions,
// log the row, and accept the exposure only when both detection scores
// reach 10; a rejected exposure is counted and its slot measured again.
// A complete reading becomes the new expected positions (the means), the
// box is re-centred on them and sent to the camera, and the reading is
// reduced into the seeing history and appended to the readings log; Nebulor's
// best estimate of the same seeing is worked out beside it.
//
// With the exposure-time correction on, each accepted exposure of
// measurementExposure (t) is followed by one of 2t, taken again until it is
// accepted, into the same slot of tables of its own and logged to a file of
// its own; the t exposures make the reading exactly as without the
// correction, and only the best estimate uses the 2t ones (extrapolated to
// zero exposure time). A rejected 2t exposure shows on the window but is not
// counted in the reading's rejected exposures, which are the t exposures'.
//
// With fast acquisition the camera delivers frames back to back (its video
// stream, else single exposures each started as soon as the previous image
// arrived); each frame is measured as an exposure is (header, both stars by
// the star finder, the raw log's row) and a reading completes after
// kFastReadingSpan of frame time: the classical value from all its frames by
// the same formula, the best estimate's error from the frames' own scatter,
// since neighbouring frames are correlated. The window is refreshed at most
// a few times a second whatever the frame rate.
//
// A rejected exposure shows the rejected share of the reading in progress at
// once, so clouds show on the window. A reading that cannot be reduced is
// skipped: its reason is shown without a modal box and the run goes on.
//
// A run ends on a stop click, a lost link at the top of a reading, a missing
// focal length or pixel size, the window closing, or an error of the imaging
// application or a raw log that cannot be created. A row that cannot be
// written (a full disk) does not end it: the row is left out whole, the
// reason is shown once a reading as a skipped reading's is, and every later
// row is tried again, so the logs resume by themselves once there is room.
// Every way out closes the log and returns the commands to idle; whatever
// was thrown is shown in a message and the program goes on. While a stopped
// run is still unwinding (mode stopping) no command starts anything, so the
// log is never opened twice and no selection runs inside the run.
class MeasurementCycle {
 public:
  MeasurementCycle(MonitorState& state, MonitorUi& ui, std::string logFolder);

  // Click on CommandStartAbort: starts a run when idle, asks a running one to stop.
  void CommandStartAbort_Click();

  // StartMeasuring has not yet returned.
  bool running() const { return state_.mode == ProgramMode::running || state_.mode == ProgramMode::stopping; }

  // Unattended runs find lost stars again; the window's runs leave that to the user.
  void setReacquisition(Reacquisition* reacquisition) { reacquisition_ = reacquisition; }
  bool logOpen() const { return logFile_.isOpen() || doubleLog_.isOpen() || readingsLog_.isOpen(); }

 private:
  enum class RunEnd { stopped, linkLost, noFocalLength, noPixelSize, implausibleHeader };

  // The exposures of one length within a reading: where they go and what became of the latest.
  struct ExposureSeries {
    float factor;           // times measurementExposure
    MonitorState& samples;  // its sampleX, sampleY and sampleError take them
    RawLog& log;
    bool counted;  // rejections count as the reading's and step its slot back
    ExposureGeometry geometry{};
    double airmassSum = 0;  // over the accepted exposures of the current reading
    bool accepted = false;
    bool restarted = false;  // the reading starts over
  };

  void StartMeasuring();
  RunEnd measureReadings(camera::Camera& camera);
  // Fast acquisition (FastAcquisition.cpp).
  RunEnd measureFrames(camera::Camera& camera);
  std::optional<RunEnd> measureFrame(const camera::StreamFrame& frame, ExposureGeometry& geometry,
                                     bool& accepted);
  void completeFrameReading(camera::Camera& camera, const ExposureGeometry& geometry, float exposure);
  std::optional<RunEnd> measureSlot(camera::Camera& camera, bool correcting);
  std::optional<RunEnd> measureExposure(camera::Camera& camera, ExposureSeries& series);
  void completeReading(camera::Camera& camera, bool correcting);
  std::optional<SeeingEstimate> bestEstimate(bool correcting);
  void showRunEnd(RunEnd end);
  void sendSubframe(camera::Camera& camera);
  void showExposureReadouts(const std::array<float, 3>& x, const std::array<float, 3>& y);
  void logReading(double airmass);
  void openReadingsLog(const std::function<void(const std::string&)>& report);
  void logRow(RawLog& log, double airmass, const std::array<float, 3>& x, const std::array<float, 3>& y);
  void reportLogProblem(const std::string& text);
  std::string applicationName() const;

  MonitorState& state_;
  MonitorUi& ui_;
  std::string logFolder_;
  RawLog logFile_{kRawLogFileName, kDoubleExposureLogFileName};
  RawLog doubleLog_{kDoubleExposureLogFileName};
  ReadingsLog readingsLog_;
  MonitorState doubled_;  // the 2t exposures' tables and their reduction
  ExposureSeries single_{1, state_, logFile_, true};
  ExposureSeries double_{2, doubled_, doubleLog_, false};
  std::future<void> windResponses_;        // built in the background as a run starts
  ExposurePairWind exposurePairWind_;      // the wind pooled over the latest readings of t and 2t
  FrameSeries frames_;                     // the accepted frames of the fast reading in progress
  bool altitudeReported_ = false;          // this run has said that OBJCTALT is no number
  std::optional<std::string> logProblem_;  // a row this reading could not write
  std::optional<Failure> headerProblem_;   // the header value that ended the run
  Reacquisition* reacquisition_ = nullptr;
};

}  // namespace nebulor
