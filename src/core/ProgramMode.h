#pragma once

#include <string>

namespace nebulor {

// What the program is doing, as far as the commands are concerned.
enum class ProgramMode {
  idle,       // nothing runs
  selecting,  // "Select Stars" waits for its image or the clicks
  running,    // a measurement run is on
  stopping,   // the stop was clicked; the run has not yet returned
};

// The state of the main window's three commands that change ("About" never does).
struct CommandStates {
  bool startAbort = true;
  std::string caption = "Start Monitoring";
  bool select = true;
  bool setup = true;

  bool operator==(const CommandStates&) const = default;
};

// The one place that decides which commands are usable. Idle: all, the
// start/stop command only once the stars are selected. Selecting: none.
// Running: only "Stop Monitoring". Stopping: none until the run has
// returned, so no selection, setup or second run can start inside it.
CommandStates commandStates(ProgramMode mode, bool starsSelected);

}  // namespace nebulor
