#include "app/DemoUi.h"

#include <charconv>
#include <utility>

#include "core/FriedParameter.h"
#include "core/NumberText.h"
#include "core/SeeingHistory.h"
#include "flows/FastAcquisition.h"

namespace nebulor {

namespace {

// Fixed decimals with a full stop whatever the user's locale; a value too
// large for that takes its shortest form with an exponent.
std::string fixed(double value, int decimals) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) return doubleText(value);
  return {buffer, result.ptr};
}

}  // namespace

DemoUi::DemoUi(MonitorUi& window, const MonitorState& state, std::ostream& out, std::ostream& err,
               int readings, KnownTruth truth, std::function<void()> stop, Clock clock)
    : window_(window),
      state_(state),
      out_(out),
      err_(err),
      readings_(readings),
      truth_(truth),
      stop_(std::move(stop)),
      clock_(std::move(clock)),
      shownHistoryCount_(state.historyCount),
      lastReading_(clock_()) {}

void DemoUi::updateDisplay() {
  window_.updateDisplay();
  // Every reduced reading moves the history's next slot on by one; start-up
  // moving it from 0 to 1 is no reading.
  const bool newReading = state_.stopRequested == kFalse && state_.historyCount != shownHistoryCount_;
  shownHistoryCount_ = state_.historyCount;
  if (newReading) printReading();
  window_.dispatchEvents();  // let the window paint the reading
}

void DemoUi::runEnded() {
  if (state_.historyCount != shownHistoryCount_) printReading();
  shownHistoryCount_ = state_.historyCount;
}

void DemoUi::printReading() {
  lastReading_ = clock_();
  rejectedInARow_ = 0;
  ++printed_;
  out_ << demoReadingLine(printed_, state_, truth_) << std::endl;
  // Why there is no wind is the same for the whole run: said once.
  if (!state_.coherence && !state_.coherenceUnknown.empty() && !coherenceUnknownSaid_) {
    err_ << "tau0 and wind unknown: " << state_.coherenceUnknown << std::endl;
    coherenceUnknownSaid_ = true;
  }
  if (printed_ == readings_) stop_();
}

void DemoUi::showRejectedShare() {
  window_.showRejectedShare();
  if (++rejectedInARow_ >= kDemoRejectedLimit) {
    giveUp(std::to_string(rejectedInARow_) + " exposures in a row were rejected without a completed reading");
  }
}

void DemoUi::showSkippedReading(const std::string& reason) {
  if (!reason.empty()) err_ << reason << std::endl;
}

void DemoUi::dispatchEvents() {
  window_.dispatchEvents();
  // A reading of fast acquisition takes its span of frames first.
  const auto patience =
      kDemoPatience + (state_.fastAcquisition ? std::chrono::seconds(static_cast<int>(kFastReadingSeconds))
                                              : std::chrono::seconds(0));
  if (clock_() - lastReading_ >= patience) {
    giveUp("no reading completed within " + std::to_string(patience.count()) + " s");
  }
}

void DemoUi::giveUp(const std::string& reason) {
  if (gaveUp_ || !givesUp_) return;
  gaveUp_ = true;
  err_ << "Demo gave up: " << reason << "." << std::endl;
}

void DemoUi::showMessage(const std::string& text) {
  messageShown_ = true;
  err_ << text << std::endl;
}

std::string demoReadingLine(int reading, const MonitorState& state, const KnownTruth& truth) {
  const float seeing = state.fwhmHistory[latestHistorySlot(state.historyCount)];
  const double r0 = r0Centimetres(state.config.wavelength, seeing);
  const int exposures = state.badSampleCount + readingLength(state);
  const double rejected = exposures > 0 ? 100.0 * state.badSampleCount / exposures : 0;
  std::string coherence = " tau0=nan tau0_error=nan wind=nan wind_error=nan";
  if (const std::optional<Coherence>& c = state.coherence) {
    coherence = " tau0=" + (c->tau0 ? fixed(*c->tau0, 2) : "nan") +
                " tau0_error=" + (c->tau0 ? fixed(c->tau0Error, 2) : "nan") + " wind=" + fixed(c->wind, 2) +
                " wind_error=" + fixed(c->windError, 2);
  }
  return "reading=" + std::to_string(reading) + " seeing=" + fixed(seeing, 4) + " r0=" + fixed(r0, 3) +
         " long=" + fixed(state.longStdDev, 4) + " trans=" + fixed(state.transStdDev, 4) +
         " rejected=" + fixed(rejected, 1) + (truth.seeing ? " true=" + fixed(*truth.seeing, 4) : "") +
         (truth.tau0 ? " true_tau0=" + fixed(*truth.tau0, 2) : "") +
         " best=" + (state.bestSeeing > 0 ? fixed(state.bestSeeing, 4) : "nan") +
         " error=" + (state.bestSeeing > 0 ? fixed(state.bestSeeingError, 4) : "nan") + coherence;
}

}  // namespace nebulor
