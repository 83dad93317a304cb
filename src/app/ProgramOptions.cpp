#include "app/ProgramOptions.h"

#include "core/NumberParse.h"

namespace nebulor {

namespace {

constexpr int kMaxDemoReadings = 100000;

int readingsValue(const std::string& text) {
  const std::optional<int> value = parseWhole<int>(text);
  if (!value || *value < 1 || *value > kMaxDemoReadings) {
    throw ProgramOptionsError("--readings takes a whole number from 1 to " +
                              std::to_string(kMaxDemoReadings) + ", not '" + text + "'");
  }
  return *value;
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
    } else if ((name == "--help" || name == "-h") && !hasValue) {
      options.help = true;
    } else if (name == "--version" && !hasValue) {
      options.version = true;
    } else {
      throw ProgramOptionsError("Unknown option '" + args[i] + "' (try --help)");
    }
  }
  if (readingsGiven && !options.demo) throw ProgramOptionsError("--readings goes with --demo");
  if (!cameraGiven && !options.demo) options.camera = kWindowCamera;
  return options;
}

std::string programUsage() {
  return "Usage: nebulor [--camera KIND[:SETTINGS]] [--demo [--readings N]] [--data-dir DIR] [--night]\n"
         "       nebulor --help | --version\n"
#ifdef _WIN32
         "  --camera maxim                MaxIm DL through COM automation (default)\n"
         "  --camera sim[:key=value,...]  the built-in simulated imaging application (default of --demo)\n"
#else
         "  --camera sim[:key=value,...]  the built-in simulated imaging application (default)\n"
#endif
         "  --camera indi:HOST:PORT[:CCD[:MOUNT]] | indi:/SOCKET[:CCD[:MOUNT]]\n"
         "                                an INDI server's camera and mount\n"
         "  --demo                        select the stars by script, print N readings (default 5), exit\n"
         "  --data-dir DIR                keep config.ini and the logs in DIR\n"
         "  --night                       start in the red night view (also in the window's context menu)\n"
         "  --version                     print the program's name and version, exit\n";
}

}  // namespace nebulor
