#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "core/MonitorState.h"
#include "core/MonitorUi.h"

namespace nebulor {

// The window as the demo and the headless run use it: everything goes to the
// given window (the real one, or none), except that messages go to the error
// stream instead of waiting for an OK, and every reading the window shows is
// also printed as one line
//   reading=K seeing=S r0=R long=L trans=T rejected=P true=S0 true_tau0=T0 best=B error=E
//   tau0=C tau0_error=CE wind=V wind_error=VE
// (arcsec, cm, pixels, percent, arcsec, ms, arcsec, arcsec, ms, ms, m/s, m/s;
// full stops; true= and true_tau0= only when the backend knows the truth; nan
// where there is no value). B is Nebulor's best estimate, E its 1-sigma
// error; C the coherence time and V the wind, with theirs. Why the wind is
// not measured goes to the error stream once. Once the wanted number of
// readings has been printed, stop() is called (it clicks "Stop Monitoring");
// 0 readings: never.
//
// A script must never hang on the demo: when no reading has completed for
// kDemoPatience of wall time, or kDemoRejectedLimit exposures in a row were
// rejected, it gives up with one line on the error stream, and every wait
// ends as if the window were closing. The headless run never gives up: it
// finds the stars again itself.
inline constexpr std::chrono::seconds kDemoPatience{60};
inline constexpr int kDemoRejectedLimit = 2000;

// What the backend knows of the sky it shows, to check a run against.
struct KnownTruth {
  std::optional<double> seeing;  // arcsec
  std::optional<double> tau0;    // ms
};

class DemoUi : public MonitorUi {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  DemoUi(MonitorUi& window, const MonitorState& state, std::ostream& out, std::ostream& err, int readings,
         KnownTruth truth, std::function<void()> stop, Clock clock = std::chrono::steady_clock::now);

  void setCommandEnabled(Command command, bool enabled) override {
    window_.setCommandEnabled(command, enabled);
  }
  void setStartAbortCaption(const std::string& caption) override { window_.setStartAbortCaption(caption); }
  void setStarCoords(int star, const std::string& text) override { window_.setStarCoords(star, text); }
  void setStarMoved(int star, double distance) override { window_.setStarMoved(star, distance); }
  void updateDisplay() override;
  void showRejectedShare() override;
  void showSkippedReading(const std::string& reason) override;
  void showMessage(const std::string& text) override;
  void beep() override {}
  void dispatchEvents() override;
  void sleep(std::chrono::milliseconds duration) override { window_.sleep(duration); }
  bool windowClosing() const override { return gaveUp_ || window_.windowClosing(); }

  void neverGiveUp() { givesUp_ = false; }
  // The window shows a reading at the top of the next one, so a run that
  // ends right after a reading (a lost link, a stop) has one logged but not
  // shown: printed here, once the run has ended, so every logged reading is.
  void runEnded();

  int readingsPrinted() const { return printed_; }
  bool messageShown() const { return messageShown_; }
  bool gaveUp() const { return gaveUp_; }

 private:
  MonitorUi& window_;
  const MonitorState& state_;
  std::ostream& out_;
  std::ostream& err_;
  int readings_;
  KnownTruth truth_;
  void giveUp(const std::string& reason);
  void printReading();

  std::function<void()> stop_;
  Clock clock_;
  std::int16_t shownHistoryCount_;
  int printed_ = 0;
  bool messageShown_ = false;
  std::chrono::steady_clock::time_point lastReading_;  // or the start
  int rejectedInARow_ = 0;                             // since the last completed reading
  bool givesUp_ = true;
  bool gaveUp_ = false;
  bool coherenceUnknownSaid_ = false;
};

// One demo line for the reading just shown (K counts from 1).
std::string demoReadingLine(int reading, const MonitorState& state, const KnownTruth& truth);

}  // namespace nebulor
