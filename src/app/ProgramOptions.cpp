#include "app/ProgramOptions.h"

#include <cmath>
#include <string_view>

#include "core/NumberParse.h"

namespace nebulor {

namespace {

constexpr int kMaxReadings = 100000;

int readingsValue(const std::string& text) {
  const std::optional<int> value = parseWhole<int>(text);
  if (!value || *value < 0 || *value > kMaxReadings) {
    throw ProgramOptionsError("--readings takes a whole number from 0 (until stopped) to " +
                              std::to_string(kMaxReadings) + ", not '" + text + "'");
  }
  return *value;
}

// A TCP port, or "off".
int alpacaPortValue(const std::string& text) {
  if (text == "off") return 0;
  const std::optional<int> port = parseWhole<int>(text);
  if (!port || *port < 1 || *port > 65535) {
    throw ProgramOptionsError("--alpaca takes a port from 1 to 65535 (11111 is usual) or off, not '" + text +
                              "'");
  }
  return *port;
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

// YYYY-MM-DD, for the option of that name.
std::string dateValue(const std::string& name, const std::string& text) {
  const std::optional<int> month = text.size() == 10 ? parseWhole<int>(text.substr(5, 2)) : std::nullopt;
  const std::optional<int> day = text.size() == 10 ? parseWhole<int>(text.substr(8, 2)) : std::nullopt;
  if (!month || !day || text[4] != '-' || text[7] != '-' || !parseWhole<int>(text.substr(0, 4)) ||
      *month < 1 || *month > 12 || *day < 1 || *day > 31) {
    throw ProgramOptionsError(name + " takes the evening's date as YYYY-MM-DD, not '" + text + "'");
  }
  return text;
}

// WxH in pixels, from 640x360 (the smallest layout the chart keeps) to 7680x4320.
void sizeValue(const std::string& text, ProgramOptions& options) {
  const std::size_t x = text.find('x');
  const std::optional<int> width = parseWhole<int>(text.substr(0, x));
  const std::optional<int> height =
      x == std::string::npos ? std::nullopt : parseWhole<int>(text.substr(x + 1));
  if (!width || !height || *width < 640 || *height < 360 || *width > 7680 || *height > 4320) {
    throw ProgramOptionsError("--size takes WIDTHxHEIGHT in pixels from 640x360 to 7680x4320, not '" + text +
                              "'");
  }
  options.chartWidth = *width;
  options.chartHeight = *height;
}

bool endsWith(const std::string& text, std::string_view end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

ProgramOptions parseProgramOptions(const std::vector<std::string>& args) {
  ProgramOptions options;
  bool readingsGiven = false;
  bool cameraGiven = false;
  bool chartOptionGiven = false;
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
    } else if (name == "--chart") {
      options.chart = true;
      if (hasValue || (i + 1 < args.size() && args[i + 1].rfind('-', 0) != 0)) options.chartLog = takeValue();
    } else if (name == "-o" || name == "--output") {
      options.chartOutput = takeValue();
    } else if (name == "--date") {
      options.chartDate = dateValue(name, takeValue());
    } else if (name == "--report" && !hasValue) {
      options.report = true;
      for (; i + 1 < args.size() && args[i + 1].rfind('-', 0) != 0; ++i)
        options.reportPlaces.push_back(args[i + 1]);
    } else if (name == "--from") {
      options.reportFrom = dateValue(name, takeValue());
    } else if (name == "--to") {
      options.reportTo = dateValue(name, takeValue());
    } else if (name == "--site") {
      options.site = takeValue();
    } else if (name == "--size") {
      sizeValue(takeValue(), options);
      chartOptionGiven = true;
    } else if (name == "--exposure-correction" && !hasValue) {
      options.exposureCorrection = true;
    } else if (name == "--fixed-extrapolation" && !hasValue) {
      options.fixedExtrapolation = options.exposureCorrection = true;
    } else if (name == "--fast" && !hasValue) {
      options.fastAcquisition = true;
    } else if (name == "--separation") {
      options.separation = separationValue(takeValue());
    } else if (name == "--alpaca") {
      options.alpacaPort = alpacaPortValue(takeValue());
    } else if (name == "--alpaca-bind") {
      options.alpacaBind = takeValue();
      if (options.alpacaBind.empty()) throw ProgramOptionsError("--alpaca-bind needs an address");
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
  if (options.chart && (options.demo || options.headless || options.report))
    throw ProgramOptionsError("--chart draws a log's night: not with --demo, --headless or --report");
  if (options.report && (options.demo || options.headless))
    throw ProgramOptionsError("--report reads the logs: not with --demo or --headless");
  if (options.chart && !endsWith(options.chartOutput, ".png") && !endsWith(options.chartOutput, ".svg"))
    throw ProgramOptionsError("--chart needs -o FILE.png or -o FILE.svg");
  if (options.report && !endsWith(options.chartOutput, ".html") && !endsWith(options.chartOutput, ".htm"))
    throw ProgramOptionsError("--report needs -o REPORT.html");
  if (!options.chart && (chartOptionGiven || !options.chartDate.empty()))
    throw ProgramOptionsError("--date and --size go with --chart");
  if (!options.chart && !options.report && !options.chartOutput.empty())
    throw ProgramOptionsError("-o goes with --chart or --report");
  if (!options.report && (!options.reportFrom.empty() || !options.reportTo.empty() || !options.site.empty()))
    throw ProgramOptionsError("--from, --to and --site go with --report");
  if (!options.reportTo.empty() && options.reportFrom > options.reportTo)
    throw ProgramOptionsError("--from " + options.reportFrom + " is after --to " + options.reportTo);
  if (options.separation && !options.headless) throw ProgramOptionsError("--separation goes with --headless");
  if (!options.alpacaBind.empty() && options.alpacaPort.value_or(0) == 0) {
    throw ProgramOptionsError("--alpaca-bind goes with --alpaca PORT");
  }
  if (options.headless && !readingsGiven) options.readings = 0;
  if (!cameraGiven && !options.demo) options.camera = kWindowCamera;
  return options;
}

std::string programUsage() {
  return "Usage: nebulor [--camera KIND[:SETTINGS]] [--demo | --headless [--separation MIN:MAX]] [--readings "
         "N]\n"
         "               [--data-dir DIR] [--night] [--exposure-correction | --fixed-extrapolation] "
         "[--fast]\n"
         "               [--alpaca PORT|off [--alpaca-bind ADDRESS]]\n"
         "       nebulor --chart [READINGS.csv] -o FILE.png|FILE.svg [--date YYYY-MM-DD] [--size WxH]\n"
         "               [--data-dir DIR] [--night]\n"
         "       nebulor --report [FILE.csv|FOLDER ...] -o REPORT.html [--from YYYY-MM-DD] [--to "
         "YYYY-MM-DD]\n"
         "               [--site NAME] [--data-dir DIR] [--night]\n"
         "       nebulor --help | --version\n"
#ifdef _WIN32
         "  --camera maxim                MaxIm DL through COM automation (default)\n"
         "  --camera sim[:key=value,...]  the built-in simulated imaging application (default of --demo)\n"
#else
         "  --camera sim[:key=value,...]  the built-in simulated imaging application (default)\n"
#endif
         "  --camera indi:HOST:PORT[:CCD[:MOUNT]] | indi:/SOCKET[:CCD[:MOUNT]]\n"
         "                                an INDI server's camera and mount\n"
         "  --demo                        the simulator with the star images chosen automatically: print N\n"
         "                                readings (default 5), exit\n"
         "  --headless                    unattended, no window or display needed: start-up messages on\n"
         "                                standard error, the two star images chosen automatically on a\n"
         "                                full frame (and again whenever they are lost), one line per\n"
         "                                reading on standard output, the logs written as the window does;\n"
         "                                until N readings, or until SIGINT, SIGTERM or SIGHUP\n"
         "  --separation MIN:MAX          pixels between the two star images (default: 10 to 120 arcsec\n"
         "                                at the frame's focal length and pixel size); for a mask whose\n"
         "                                prism sets them further apart\n"
         "  --readings N                  stop after N readings; 0: until stopped\n"
         "  --data-dir DIR                keep config.ini and the logs in DIR\n"
         "  --night                       start in the red night view (also in the window's context menu);\n"
         "                                with --chart and --report: the pictures in red on black\n"
         "  --chart [READINGS.csv]        draw one night of a readings log (default: SeeingReadings.csv in\n"
         "                                the data folder) to -o FILE.png or FILE.svg, print the night's\n"
         "                                summary (name=value lines), exit; no display needed\n"
         "  --date YYYY-MM-DD             the night whose evening has that date (default: the most recent)\n"
         "  --size WxH                    the picture's size in pixels (default 1280x720)\n"
         "  --report [FILE.csv|FOLDER ...]\n"
         "                                a site report of all readings of the logs named and of every\n"
         "                                readings log in the folders named (default: the data folder's):\n"
         "                                one HTML file (-o) with all it needs inside, the summary on\n"
         "                                standard output (name=value lines), exit; no display needed\n"
         "  --from, --to YYYY-MM-DD       the report's first and last nights (dates of their evenings)\n"
         "  --site NAME                   the site's name in the report's title\n"
         "  --exposure-correction         alternate exposures of the measurement exposure time t and 2t\n"
         "                                and extrapolate the best estimate to zero exposure time (also\n"
         "                                in the window's context menu); readings take twice as long\n"
         "  --fixed-extrapolation         the exposure-time correction by the fixed extrapolation from t\n"
         "                                and 2t instead of the measured wind, for comparison; implies\n"
         "                                --exposure-correction\n"
         "  --fast                        fast acquisition: frames back to back (the camera's video stream\n"
         "                                where it has one), a reading per minute of frames with its error\n"
         "                                from their own scatter (also in the window's context menu)\n"
         "  --alpaca PORT                 serve the seeing as an ASCOM Alpaca ObservingConditions device "
         "and\n"
         "                                a live page at http://HOST:PORT/ (the window remembers it; off\n"
         "                                stops it)\n"
         "  --alpaca-bind ADDRESS         serve on this address only (default: every interface)\n"
         "  --version                     print the program's name and version, exit\n"
         "SIGINT, SIGTERM and SIGHUP stop a run as \"Stop Monitoring\" does, logs closed complete.\n"
         "Exit status: 0 stopped or done, 1 the run ended on an error or --chart or --report found nothing\n"
         "to draw or could not write it (message on standard error), 2 bad options, no display for the\n"
         "window, or a data folder that cannot be written or that another Nebulor is using.\n";
}

}  // namespace nebulor
