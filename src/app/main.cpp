#include <QApplication>
#include <cstdlib>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "Version.h"
#include "app/BackendFactory.h"
#include "app/Headless.h"
#include "app/ProgramOptions.h"
#include "app/Session.h"
#include "app/StopSignals.h"
#include "core/AppPaths.h"

namespace {

constexpr int kUsageExit = 2;
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

}  // namespace

int main(int argc, char* argv[]) {
  nebulor::ProgramOptions options;
  nebulor::camera::Backend backend;
  std::string folder;
  try {
    options = nebulor::parseProgramOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (options.version) {
      std::cout << "Nebulor " << nebulor::kVersionText << '\n';
      return EXIT_SUCCESS;
    }
    folder = dataFolder(options);
    if (options.help) {
      std::cout << nebulor::programUsage() << "config.ini and the logs are kept in " << folder << '\n';
      return EXIT_SUCCESS;
    }
    if (const auto failure = nebulor::createFolder(folder)) {
      // A folder the user named must work; the automatic one reports again at its first write.
      if (!options.dataDir.empty()) throw nebulor::ProgramOptionsError(failure->reason);
      std::cerr << "nebulor: " << failure->reason << '\n';
    }
    const auto use = options.demo       ? nebulor::camera::BackendUse::demo
                     : options.headless ? nebulor::camera::BackendUse::headless
                                        : nebulor::camera::BackendUse::window;
    backend = nebulor::camera::makeBackend(options.camera, use);
  } catch (const std::runtime_error& error) {
    std::cerr << "nebulor: " << error.what() << '\n';
    return kUsageExit;
  }

  if (options.headless) {
    // No Qt at all: nothing to show, so no display to need.
    nebulor::catchStopSignals();
    const nebulor::HeadlessRun run{options.readings, options.separation, backend.trueSeeing,
                                   nebulor::stopSignalled, options.exposureCorrection};
    return nebulor::runHeadless(*backend.server, run, folder, std::cout, std::cerr);
  }

  if (options.demo) {
    useOffscreenWithoutDisplay();
  } else if (noDisplayNamed()) {
    std::cerr << kNoDisplay;
    return kUsageExit;
  }
  int qtArgc = 1;  // the options above are Nebulor's own; Qt gets none
  qtHandler = qInstallMessageHandler(exitOnPlatformFailure);
  QApplication app(qtArgc, argv);
  qInstallMessageHandler(qtHandler);
  for (const auto& [type, text] : startMessages) qtHandler(type, QMessageLogContext(), text);
  // The desktop shows the installed menu entry's name and icon for the window.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Nebulor"));
  if (options.demo) {
    return nebulor::runDemo(app, backend, options.readings, folder, std::cout, std::cerr,
                            options.exposureCorrection);
  }
  return nebulor::runWindow(app, backend, folder, {options.night, options.exposureCorrection});
}
