#include <QApplication>
#include <QTimer>
#include <string>
#include <vector>

#include "config/AppPaths.h"
#include "config/ConfigFile.h"
#include "monitor/MainDisplay.h"

namespace {

// The idle state after start-up: no stars, no run, an empty history.
void putIntoStartupValues(nebulor::MonitorState& state) {
  state.starsSelected = nebulor::kFalse;
  state.fwhmHistory.fill(0);
  state.starX = {};
  state.starY = {};
  state.historyCount = 1;
  state.sampleIndex = 1;
  state.longStdDev = 0;
  state.transStdDev = 0;
  state.badSampleCount = 0;
  state.stopRequested = nebulor::kTrue;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  nebulor::MonitorState state;
  const std::string folder = nebulor::GetEXEPath();
  const std::vector<std::string> warnings = nebulor::LoadConfig(state.config, folder);
  state.configLoaded = true;
  putIntoStartupValues(state);

  nebulor::MainDisplay window(state, folder);
  window.show();
  window.updateDisplay();
  if (!warnings.empty()) {
    std::string text;
    for (const std::string& warning : warnings) text += (text.empty() ? "" : "\n") + warning;
    QTimer::singleShot(0, &window, [&window, text] { window.showMessage(text); });
  }
  return app.exec();
}
