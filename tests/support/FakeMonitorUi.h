#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/MonitorState.h"
#include "core/MonitorUi.h"

namespace nebulor::testing {

// The commands as the window shows them at one moment.
struct ButtonStates {
  bool startAbort = true;
  std::string caption = "Start Monitoring";
  bool select = true;
  bool setup = true;

  bool operator==(const ButtonStates&) const = default;
};

// A MonitorUi that records what the flows ask of the window. It starts with
// the window's design-time state (every command enabled, "Start Monitoring").
// Clicks and other user actions are scripted through onDispatch, which runs
// inside every event dispatch, as a real click would. A runaway wait is cut
// off: after dispatchLimit dispatches the window reports that it is closing.
class FakeMonitorUi : public MonitorUi {
 public:
  // With a state, updateDisplay enables the start/stop command exactly when
  // starsSelected is True, as the real refresh does.
  explicit FakeMonitorUi(const MonitorState* state = nullptr) : state_(state) {}

  void setCommandEnabled(Command command, bool enabled) override {
    switch (command) {
      case Command::StartAbort:
        buttons.startAbort = enabled;
        break;
      case Command::Select:
        buttons.select = enabled;
        break;
      case Command::Setup:
        buttons.setup = enabled;
        break;
    }
  }
  void setStartAbortCaption(const std::string& caption) override { buttons.caption = caption; }
  void setStarCoords(int star, const std::string& text) override { coords[star] = text; }
  void setStarMoved(int star, double distance) override { moved[star] = distance; }

  void updateDisplay() override {
    ++updateCount;
    if (state_ != nullptr) buttons.startAbort = state_->starsSelected == kTrue;
    run(onUpdateDisplay);
  }

  void showRejectedShare() override {
    if (state_ != nullptr) rejectedShown.push_back(state_->badSampleCount);
  }
  void showSkippedReading(const std::string& reason) override { skipped.push_back(reason); }

  void showMessage(const std::string& text) override {
    messages.push_back(text);
    if (onMessage) onMessage(text);
  }
  void beep() override { ++beeps; }

  void dispatchEvents() override {
    ++dispatches;
    if (dispatches > dispatchLimit) {
      dispatchLimitReached = true;
      closing = true;
      return;
    }
    run(onDispatch);
  }
  void sleep(std::chrono::milliseconds duration) override {
    ++sleeps;
    slept += duration;
  }
  bool windowClosing() const override { return closing; }

  ButtonStates buttons;
  std::map<int, std::string> coords;
  std::map<int, double> moved;
  std::vector<std::string> messages;
  std::vector<int> rejectedShown;    // badSampleCount at each refresh of the rejected share
  std::vector<std::string> skipped;  // reasons of skipped readings, "" when cleared
  int updateCount = 0;
  int beeps = 0;
  int dispatches = 0;
  int sleeps = 0;
  std::chrono::milliseconds slept{0};
  bool closing = false;
  int dispatchLimit = 200000;
  bool dispatchLimitReached = false;

  std::function<void()> onDispatch;
  std::function<void()> onUpdateDisplay;
  std::function<void(const std::string&)> onMessage;

 private:
  // Runs a copy, so that an action may replace or clear itself.
  static void run(const std::function<void()>& action) {
    if (!action) return;
    const std::function<void()> copy = action;
    copy();
  }

  const MonitorState* state_;
};

}  // namespace nebulor::testing
