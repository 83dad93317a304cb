#pragma once

#include <chrono>
#include <string>

// What the flows (start-up, star selection, measurement cycle) ask of the
// main window. MainDisplay implements it; tests replace it with a recording
// fake, so every flow runs without Qt.
namespace nebulor {

class MonitorUi {
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
  // command's availability from starsSelected.
  virtual void updateDisplay() = 0;

  // A modal message titled "Nebulor" with an OK button.
  virtual void showMessage(const std::string& text) = 0;
  virtual void beep() = 0;

  // The waits: dispatch pending window events (clicks may run re-entrantly
  // in here), and sleep without dispatching.
  virtual void dispatchEvents() = 0;
  virtual void sleep(std::chrono::milliseconds duration) = 0;

  // True once the user has closed the window: every wait must then end.
  virtual bool windowClosing() const = 0;
};

}  // namespace nebulor
