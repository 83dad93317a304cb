#include <QApplication>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/BackendFactory.h"
#include "app/ProgramOptions.h"
#include "app/Session.h"
#include "core/AppPaths.h"

namespace {

// The demo needs no screen: without one it draws offscreen.
void useOffscreenWithoutDisplay() {
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
      std::getenv("QT_QPA_PLATFORM") == nullptr) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
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
    backend =
        nebulor::camera::makeBackend(options.camera, options.demo ? nebulor::camera::BackendUse::demo
                                                                  : nebulor::camera::BackendUse::window);
  } catch (const std::runtime_error& error) {
    std::cerr << "nebulor: " << error.what() << '\n';
    return 2;
  }

  if (options.demo) useOffscreenWithoutDisplay();
  int qtArgc = 1;  // the options above are Nebulor's own; Qt gets none
  QApplication app(qtArgc, argv);
  const std::string folder = nebulor::GetEXEPath();
  if (options.demo) return nebulor::runDemo(app, backend, options.readings, folder, std::cout, std::cerr);
  return nebulor::runWindow(app, backend, folder);
}
