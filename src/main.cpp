#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "camera/BackendFactory.h"
#include "camera/StarSelection.h"
#include "config/AppPaths.h"
#include "measure/MeasurementCycle.h"
#include "monitor/DemoUi.h"
#include "monitor/MainDisplay.h"
#include "monitor/MonitorState.h"
#include "monitor/ProgramOptions.h"
#include "monitor/Startup.h"

namespace {

using nebulor::MonitorUi;

// The demo needs no screen: without one it draws offscreen.
void useOffscreenWithoutDisplay() {
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
      std::getenv("QT_QPA_PLATFORM") == nullptr) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
}

// A click on one of the main window's buttons, as the user would make it.
void click(nebulor::MainDisplay& window, const char* button) {
  window.findChild<QPushButton*>(QString::fromLatin1(button))->click();
}

// Everything one session of the program holds, wired to the window's commands.
struct Session {
  Session(nebulor::MonitorState& state, nebulor::MainDisplay& window, MonitorUi& ui, const std::string& folder)
      : selection(state, ui), cycle(state, ui, folder) {
    QObject::connect(&window, &nebulor::MainDisplay::selectClicked, [this] { selection.CommandSelect_Click(); });
    QObject::connect(&window, &nebulor::MainDisplay::startAbortClicked,
                     [this] { cycle.CommandStartAbort_Click(); });
    // Closing ends every wait; once the running command has unwound, the program ends.
    QObject::connect(&window, &nebulor::MainDisplay::windowClosed, [] { QCoreApplication::quit(); });
  }

  nebulor::StarSelection selection;
  nebulor::MeasurementCycle cycle;
};

// Scripted: select the stars, monitor until the readings are printed, exit.
int runDemo(QApplication& app, nebulor::camera::Backend& backend, int readings) {
  const std::string folder = nebulor::GetEXEPath();
  nebulor::MonitorState state;
  nebulor::MainDisplay window(state, folder);
  nebulor::DemoUi ui(window, state, std::cout, std::cerr, readings, backend.trueSeeing,
                     [&window] { click(window, "CommandStartAbort"); });
  Session session(state, window, ui, folder);
  nebulor::AutomationObjects objects;
  nebulor::RunStartup(state, ui, *backend.server, objects, folder);
  if (!state.configLoaded) return EXIT_FAILURE;  // the camera did not link: said on standard error
  window.show();

  QTimer::singleShot(0, &window, [&] {
    click(window, "CommandSelect");
    if (state.starsSelected == nebulor::kTrue) click(window, "CommandStartAbort");
    app.exit(ui.readingsPrinted() == readings ? EXIT_SUCCESS : EXIT_FAILURE);
  });
  return app.exec();
}

int runWindow(QApplication& app, nebulor::camera::Backend& backend) {
  const std::string folder = nebulor::GetEXEPath();
  nebulor::MonitorState state;
  nebulor::MainDisplay window(state, folder);
  Session session(state, window, window, folder);
  nebulor::AutomationObjects objects;
  nebulor::RunStartup(state, window, *backend.server, objects, folder);
  window.show();
  return app.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
  nebulor::ProgramOptions options;
  nebulor::camera::Backend backend;
  try {
    options = nebulor::parseProgramOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (options.help) {
      std::cout << nebulor::programUsage();
      return EXIT_SUCCESS;
    }
    backend = nebulor::camera::makeBackend(
        options.camera, options.demo ? nebulor::camera::BackendUse::demo : nebulor::camera::BackendUse::window);
  } catch (const std::runtime_error& error) {
    std::cerr << "nebulor: " << error.what() << '\n';
    return 2;
  }

  if (options.demo) useOffscreenWithoutDisplay();
  int qtArgc = 1;  // the options above are Nebulor's own; Qt gets none
  QApplication app(qtArgc, argv);
  return options.demo ? runDemo(app, backend, options.readings) : runWindow(app, backend);
}
