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
// unattended (headless) run, the night chart, where the files live and the night view.
//   nebulor [--camera KIND[:SETTINGS]] [--demo | --headless [--separation MIN:MAX]] [--readings N]
//           [--data-dir DIR] [--night] [--exposure-correction | --fixed-extrapolation] [--fast]
//           [--alpaca PORT|off [--alpaca-bind ADDRESS]]
//   nebulor --chart [READINGS.csv] -o FILE.png|FILE.svg [--date YYYY-MM-DD] [--size WxH]
//           [--data-dir DIR] [--night]
//   nebulor --report [FILE.csv|FOLDER ...] -o REPORT.html [--from DATE] [--to DATE] [--site NAME]
//           [--data-dir DIR] [--night]
struct ProgramOptions {
  std::string camera = "sim";  // "sim[:key=value,...]", "indi:...", "maxim"
  bool demo = false;
  bool headless = false;
  int readings = 5;  // readings printed before the run stops; 0: until stopped (headless default)
  std::optional<stars::SeparationRange> separation;  // pixels between the star images, headless
  std::string dataDir;                               // empty: the program's folder or the user's data folder
  bool night = false;
  bool exposureCorrection = false;  // on for this run, whatever the window last remembered
  bool fixedExtrapolation = false;  // the correction by the fixed extrapolation; implies exposureCorrection
  bool fastAcquisition = false;     // likewise
  std::optional<int> alpacaPort;    // the Alpaca server's port; 0: off; none: not given
  std::string alpacaBind;           // its one address; empty: every interface
  bool chart = false;               // draw a night of a readings log to a picture, no window
  std::string chartLog;             // empty: SeeingReadings.csv in the data folder
  std::string chartOutput;          // FILE.png or FILE.svg; with --report: REPORT.html
  std::string chartDate;            // YYYY-MM-DD of the night's evening; empty: the most recent night
  int chartWidth = 1280;            // pixels
  int chartHeight = 720;
  bool report = false;                    // a site report of readings logs, no window
  std::vector<std::string> reportPlaces;  // logs and folders of logs; none: the data folder
  std::string reportFrom;                 // YYYY-MM-DD: the first and last nights; empty: no limit
  std::string reportTo;
  std::string site;  // the site's name for the report's title
  bool help = false;
  bool version = false;
};

// A command line that cannot be followed; what() is one line for the user.
class ProgramOptionsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// args without the program name. Accepts "--camera X" and "--camera=X",
// likewise for every option with a value.
ProgramOptions parseProgramOptions(const std::vector<std::string>& args);

std::string programUsage();

}  // namespace nebulor
