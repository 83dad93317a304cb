#pragma once

#include <string>

#include "core/EventPump.h"

// What the flows (start-up, star selection, measurement cycle) ask of the
// main window. MainDisplay implements it; tests replace it with a recording
// fake, so every flow runs without Qt.
namespace nebulor {

class MonitorUi : public EventPump {
 public:
  enum class Command { StartAbort, Select, Setup };

  virtual ~MonitorUi() = default;

  virtual void setCommandEnabled(Command command, bool enabled) = 0;
  virtual void setStartAbortCaption(const std::string& caption) = 0;

  // Per-exposure read-outs of star 1 or 2: the whole-pixel position text
  // ("53,48") and the truncated distance moved, shown in the user's locale.
  virtual void setStarCoords(int star, const std::string& text) = 0;
  virtual void setStarMoved(int star, double distance) = 0;

  // Refreshes read-outs and plot from the monitor state, and the start/stop
  // command's availability from the mode and starsSelected (commandStates).
  virtual void updateDisplay() = 0;

  // The rejected share of the reading in progress (badSampleCount against
  // samplesPerReading), refreshed alone while exposures are being rejected.
  virtual void showRejectedShare() = 0;

  // Why the latest reading was skipped, shown without stopping the run (no
  // modal box) and written to standard error; an empty text clears it once
  // a reading has been reduced again.
  virtual void showSkippedReading(const std::string& reason) = 0;

  // A modal message titled "Nebulor" with an OK button.
  virtual void showMessage(const std::string& text) = 0;
  virtual void beep() = 0;
};

}  // namespace nebulor
