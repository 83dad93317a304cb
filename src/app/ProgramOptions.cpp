#include "app/ProgramOptions.h"

#include <cmath>
#include <string_view>

#include "core/NumberParse.h"

namespace nebulor {

namespace {

constexpr int kMaxReadings = 100000;

int readingsValue(const std::string& text) {
  const std::optional<int> value = parseWhole<int>(text);
  if (!value || *value < 1 || *value > kMaxReadings) {
    throw ProgramOptionsError("--readings takes a whole number from 1 to " + std::to_string(kMaxReadings) +
                              ", not '" + text + "'");
  }
  return *value;
}

// "MIN:MAX" in pixels, 0 < MIN <= MAX.
stars::SeparationRange separationValue(const std::string& text) {
  const auto number = [](std::string_view digits, double& value) {
    const std::optional<double> parsed = parseNumber(digits);
    if (parsed) value = *parsed;
    return parsed && std::isfinite(*parsed);
  };
  const std::size_t colon = text.find(':');
  stars::SeparationRange range;
  if (colon == std::string::npos || !number(std::string_view(text).substr(0, colon), range.min) ||
      !number(std::string_view(text).substr(colon + 1), range.max) || range.min <= 0 ||
      range.max < range.min) {
    throw ProgramOptionsError("--separation takes MIN:MAX in pixels (for example 30:60), not '" + text + "'");
  }
  return range;
}

}  // namespace

ProgramOptions parseProgramOptions(const std::vector<std::string>& args) {
  ProgramOptions options;
  bool readingsGiven = false;
  bool cameraGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool hasValue = false;
    if (const std::size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
      hasValue = true;
    }
    const auto takeValue = [&] {
      if (hasValue) return value;
      if (i + 1 >= args.size()) throw ProgramOptionsError(name + " needs a value");
      return args[++i];
    };
    if (name == "--camera") {
      options.camera = takeValue();
      if (options.camera.empty()) throw ProgramOptionsError("--camera needs a value");
      cameraGiven = true;
    } else if (name == "--readings") {
      options.readings = readingsValue(takeValue());
      readingsGiven = true;
    } else if (name == "--data-dir") {
      options.dataDir = takeValue();
      if (options.dataDir.empty()) throw ProgramOptionsError("--data-dir needs a folder");
    } else if (name == "--demo" && !hasValue) {
      options.demo = true;
    } else if (name == "--night" && !hasValue) {
      options.night = true;
    } else if (name == "--exposure-correction" && !hasValue) {
      options.exposureCorrection = true;
    } else if (name == "--separation") {
      options.separation = separationValue(takeValue());
    } else if (name == "--headless" && !hasValue) {
      options.headless = true;
    } else if ((name == "--help" || name == "-h") && !hasValue) {
      options.help = true;
    } else if (name == "--version" && !hasValue) {
      options.version = true;
    } else {
      throw ProgramOptionsError("Unknown option '" + args[i] + "' (try --help)");
    }
  }
  if (options.demo && options.headless)
    throw ProgramOptionsError("--demo and --headless are two ways to run: choose one");
  if (readingsGiven && !options.demo && !options.headless) {
    throw ProgramOptionsError("--readings goes with --demo or --headless");
  }
  if (options.separation && !options.headless) throw ProgramOptionsError("--separation goes with --headless");
  if (options.headless && !readingsGiven) options.readings = 0;
  if (!cameraGiven && !options.demo) options.camera = kWindowCamera;
  return options;
}

std::string programUsage() {
  return "Usage: nebulor [--camera KIND[:SETTINGS]] [--demo | --headless [--separation MIN:MAX]] [--readings "
         "N]\n"
         "               [--data-dir DIR] [--night] [--exposure-correction]\n"
         "       nebulor --help | --version\n"
#ifdef _WIN32
         "  --camera maxim                MaxIm DL through COM automation (default)\n"
         "  --camera sim[:key=value,...]  the built-in simulated imaging application (default of --demo)\n"
#else
         "  --camera sim[:key=value,...]  the built-in simulated imaging application (default)\n"
#endif
         "  --camera indi:HOST:PORT[:CCD[:MOUNT]] | indi:/SOCKET[:CCD[:MOUNT]]\n"
         "                                an INDI server's camera and mount\n"
         "  --demo                        the simulator with the stars clicked by script: print N readings\n"
         "                                (default 5), exit\n"
         "  --headless                    unattended, no window or display needed: start-up messages on\n"
         "                                standard error, the two star images chosen automatically on a\n"
         "                                full frame (and again whenever they are lost), one line per\n"
         "                                reading on standard output, the logs written as the window does;\n"
         "                                until N readings, or until SIGINT or SIGTERM\n"
         "  --separation MIN:MAX          pixels between the two star images (default: 10 to 120 arcsec\n"
         "                                at the frame's focal length and pixel size); for a mask whose\n"
         "                                prism sets them further apart\n"
         "  --readings N                  stop after N readings\n"
         "  --data-dir DIR                keep config.ini and the logs in DIR\n"
         "  --night                       start in the red night view (also in the window's context menu)\n"
         "  --exposure-correction         alternate exposures of the measurement exposure time t and 2t\n"
         "                                and extrapolate the best estimate to zero exposure time (also\n"
         "                                in the window's context menu); readings take twice as long\n"
         "  --version                     print the program's name and version, exit\n"
         "Exit status: 0 stopped or done, 1 the run ended on an error (message on standard error),\n"
         "2 bad options.\n";
}

}  // namespace nebulor
