#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "stars/StarPair.h"

namespace nebulor {

// The imaging application the window drives when --camera is not given: on
// Windows the real one through COM, elsewhere the simulator. The demo chooses
// the stars on the images, which the COM application keeps to itself, so
// it always defaults to the simulator.
#ifdef _WIN32
inline constexpr const char* kWindowCamera = "maxim";
#else
inline constexpr const char* kWindowCamera = "sim";
#endif

// The command line: which imaging application to drive, the demo, the
// unattended (headless) run, where the files live and the night view.
//   nebulor [--camera KIND[:SETTINGS]] [--demo | --headless [--separation MIN:MAX]] [--readings N]
//           [--data-dir DIR] [--night] [--exposure-correction]
struct ProgramOptions {
  std::string camera = "sim";  // "sim[:key=value,...]", "indi:...", "maxim"
  bool demo = false;
  bool headless = false;
  int readings = 5;  // readings printed before the run stops; 0: until stopped (headless default)
  std::optional<stars::SeparationRange> separation;  // pixels between the star images, headless
  std::string dataDir;                               // empty: the program's folder or the user's data folder
  bool night = false;
  bool exposureCorrection = false;  // on for this run, whatever the window last remembered
  bool help = false;
  bool version = false;
};

// A command line that cannot be followed; what() is one line for the user.
class ProgramOptionsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// args without the program name. Accepts "--camera X" and "--camera=X",
// likewise for --readings.
ProgramOptions parseProgramOptions(const std::vector<std::string>& args);

std::string programUsage();

}  // namespace nebulor
