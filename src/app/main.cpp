#include <QApplication>
#include <QHostAddress>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Version.h"
#include "app/BackendFactory.h"
#include "app/ChartCommand.h"
#include "app/DataFolderLock.h"
#include "app/Headless.h"
#include "app/ProgramOptions.h"
#include "app/Session.h"
#include "app/SiteReport.h"
#include "app/StopSignals.h"
#include "config/ConfigFile.h"
#include "core/AppPaths.h"
#include "core/ReadingsFeed.h"
#include "display/MessageBox.h"
#include "publish/AlpacaService.h"

namespace {

constexpr int kUsageExit = 2;
constexpr std::chrono::milliseconds kStopPoll{50};
constexpr const char* kNoDisplay =
    "nebulor: no display to open the window on (DISPLAY is not set or cannot be reached); "
    "run on a desktop, set DISPLAY, or try nebulor --demo, which needs none\n";

// Nothing says where a window could go (Windows always has a screen).
bool noDisplayNamed() {
#ifdef _WIN32
  return false;
#else
  return std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
         std::getenv("QT_QPA_PLATFORM") == nullptr;
#endif
}

// The demo needs no screen: without one it draws offscreen.
void useOffscreenWithoutDisplay() {
  if (noDisplayNamed()) qputenv("QT_QPA_PLATFORM", "offscreen");
}

// A display that is named but cannot be opened ends in Qt's fatal message,
// which would abort: say it in one line instead and end like a bad option.
// Qt's other messages while it starts are held back until it has started.
QtMessageHandler qtHandler = nullptr;
std::vector<std::pair<QtMsgType, QString>> startMessages;

void exitOnPlatformFailure(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtFatalMsg) {
    std::cerr << kNoDisplay;
    std::_Exit(kUsageExit);
  }
  startMessages.emplace_back(type, text);
}

// Where config.ini and the logs are kept this run.
std::string dataFolder(const nebulor::ProgramOptions& options) {
  return nebulor::chooseDataFolder(options.dataDir, nebulor::GetEXEPath(), nebulor::canKeepFilesIn,
                                   nebulor::userDataFolder(std::getenv));
}

// The Alpaca server the command line asks for; the window's choice is
// remembered and used again when the option is not given.
std::optional<nebulor::AlpacaEndpoint> alpacaEndpoint(const nebulor::ProgramOptions& options, bool window) {
  std::optional<nebulor::AlpacaEndpoint> endpoint;
  if (options.alpacaPort.value_or(0) > 0) {
    endpoint = nebulor::AlpacaEndpoint{static_cast<quint16>(*options.alpacaPort),
                                       QString::fromStdString(options.alpacaBind)};
  }
  if (!window) return endpoint;
  if (!options.alpacaPort) return nebulor::rememberedAlpaca();
  nebulor::rememberAlpaca(endpoint);
  return endpoint;
}

// Serves the readings when an endpoint is given. What the user must know
// (a port taken, discovery off) goes to standard error, and for the window
// also into a message.
std::unique_ptr<nebulor::AlpacaService> startAlpaca(const std::optional<nebulor::AlpacaEndpoint>& endpoint,
                                                    const nebulor::ReadingsFeed& feed, bool window) {
  if (!endpoint) return nullptr;
  auto service = std::make_unique<nebulor::AlpacaService>(feed);
  for (const QString& message : service->start(*endpoint)) {
    std::cerr << "nebulor: " << message.toStdString() << '\n';
    if (window) nebulor::showMessageBox(nullptr, message);
  }
  return service;
}

// --chart and --report draw into files: never a screen, whatever the environment names.
int drawPictures(const nebulor::ProgramOptions& options, const std::string& folder, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  if (options.report) return nebulor::runReport(options, folder, std::cout, std::cerr);
  return nebulor::runChart(options, folder, std::cout, std::cerr);
}

// A config.ini beside the program that is not the one read is named once, with why.
void sayWhichConfigIsUsed(const nebulor::ProgramOptions& options, const std::string& folder) {
  const std::string beside = nebulor::GetEXEPath() + nebulor::kConfigFileName;
  std::error_code error;
  if (folder == nebulor::GetEXEPath() ||
      !std::filesystem::exists(std::filesystem::symlink_status(nebulor::utf8Path(beside), error))) {
    return;
  }
  std::cerr << "nebulor: the settings come from " << folder << nebulor::kConfigFileName << "; " << beside
            << " is not used, "
            << (options.dataDir.empty() ? "since the program's folder cannot be written"
                                        : "since --data-dir names another folder")
            << '\n';
}

// A stop signal closes every window, as the user closing them would: the
// waits end and the run unwinds with its logs closed.
void closeOnStopSignal(QApplication& app) {
  auto* poll = new QTimer(&app);
  QObject::connect(poll, &QTimer::timeout, &app, [] {
    if (!nebulor::stopSignalled()) return;
    for (QWidget* window : QApplication::topLevelWidgets()) window->close();
    QCoreApplication::quit();
  });
  poll->start(kStopPoll);
}

// What the options and the data folder give a measuring run.
struct Run {
  nebulor::ProgramOptions options;
  nebulor::camera::Backend backend;
  std::string folder;
  nebulor::DataFolderLock folderLock;           // held until the program ends
  std::optional<nebulor::Failure> folderTaken;  // another copy has the folder
};

// Reads the options and takes the data folder; an exit code when that is
// all there is to do (--version, --help, --chart, --report, a bad option).
std::optional<int> prepare(int argc, char* argv[], Run& run) {
  nebulor::ProgramOptions& options = run.options;
  try {
    options = nebulor::parseProgramOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (options.version) {
      std::cout << "Nebulor " << nebulor::kVersionText << '\n';
      return EXIT_SUCCESS;
    }
    run.folder = dataFolder(options);
    if (options.help) {
      std::cout << nebulor::programUsage() << "config.ini and the logs are kept in " << run.folder << '\n';
      return EXIT_SUCCESS;
    }
    if (options.chart || options.report) return drawPictures(options, run.folder, argv);
    // A folder that cannot be written would lose the night: found before any camera work.
    if (const auto failure = nebulor::createFolder(run.folder))
      throw nebulor::ProgramOptionsError(failure->reason);
    run.folderTaken = run.folderLock.take(run.folder);
    if (!run.folderTaken) sayWhichConfigIsUsed(options, run.folder);
    const auto use = options.demo       ? nebulor::camera::BackendUse::demo
                     : options.headless ? nebulor::camera::BackendUse::headless
                                        : nebulor::camera::BackendUse::window;
    if (!options.alpacaBind.empty() && QHostAddress(QString::fromStdString(options.alpacaBind)).isNull()) {
      throw nebulor::ProgramOptionsError("--alpaca-bind takes an IP address (127.0.0.1, say), not '" +
                                         options.alpacaBind + "'");
    }
    run.backend = nebulor::camera::makeBackend(options.camera, use);
  } catch (const std::runtime_error& error) {
    std::cerr << "nebulor: " << error.what() << '\n';
    return kUsageExit;
  }
  return std::nullopt;
}

// No window: nothing to show, so no display to need. Qt only for the Alpaca
// server, whose live page draws the night chart: fonts need a GUI
// application, which draws offscreen.
int headlessMode(Run& run, nebulor::ReadingsFeed& feed, char* argv[]) {
  const nebulor::ProgramOptions& options = run.options;
  const std::optional<nebulor::AlpacaEndpoint> endpoint = alpacaEndpoint(options, false);
  if (endpoint) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;  // the options are Nebulor's own; Qt gets none
  const std::unique_ptr<QGuiApplication> gui =
      endpoint ? std::make_unique<QGuiApplication>(qtArgc, argv) : nullptr;
  const std::unique_ptr<nebulor::AlpacaService> alpaca = startAlpaca(endpoint, feed, false);
  const nebulor::HeadlessRun headless{options.readings,
                                      options.separation,
                                      {run.backend.trueSeeing, run.backend.trueTau0},
                                      nebulor::stopSignalled,
                                      options.exposureCorrection,
                                      options.fixedExtrapolation,
                                      options.fastAcquisition,
                                      &feed,
                                      run.backend.setEventPump};
  return nebulor::runHeadless(*run.backend.server, headless, run.folder, std::cout, std::cerr);
}

// The window, or the demo, which draws it offscreen without a display.
int windowMode(Run& run, nebulor::ReadingsFeed& feed, char* argv[]) {
  const nebulor::ProgramOptions& options = run.options;
  if (options.demo) {
    useOffscreenWithoutDisplay();
  } else if (noDisplayNamed()) {
    std::cerr << kNoDisplay;
    return kUsageExit;
  }
  int qtArgc = 1;  // the options are Nebulor's own; Qt gets none
  qtHandler = qInstallMessageHandler(exitOnPlatformFailure);
  QApplication app(qtArgc, argv);
  qInstallMessageHandler(qtHandler);
  for (const auto& [type, text] : startMessages) qtHandler(type, QMessageLogContext(), text);
  // The desktop shows the installed menu entry's name and icon for the window.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Nebulor"));
  if (run.folderTaken) {
    std::cerr << "nebulor: " << run.folderTaken->reason << '\n';
    QString text = QString::fromStdString(run.folderTaken->reason);
    text[0] = text[0].toUpper();  // a sentence of its own in the box
    nebulor::showMessageBox(nullptr, text);
    return kUsageExit;
  }
  closeOnStopSignal(app);
  const std::unique_ptr<nebulor::AlpacaService> alpaca =
      startAlpaca(alpacaEndpoint(options, !options.demo), feed, !options.demo);
  const nebulor::WindowChoices choices{options.night, options.exposureCorrection, options.fastAcquisition,
                                       options.fixedExtrapolation};
  if (options.demo) {
    return nebulor::runDemo(app, run.backend, options.readings, run.folder, std::cout, std::cerr, choices,
                            &feed);
  }
  return nebulor::runWindow(app, run.backend, run.folder, choices, &feed);
}

}  // namespace

int main(int argc, char* argv[]) {
  nebulor::catchStopSignals();  // first: a signal at any moment ends the run as a stop does
  Run run;
  if (const std::optional<int> exitCode = prepare(argc, argv, run)) return *exitCode;
  if (run.folderTaken && (run.options.headless || run.options.demo || noDisplayNamed())) {
    std::cerr << "nebulor: " << run.folderTaken->reason << '\n';
    return kUsageExit;
  }
  nebulor::ReadingsFeed feed;
  return run.options.headless ? headlessMode(run, feed, argv) : windowMode(run, feed, argv);
}
