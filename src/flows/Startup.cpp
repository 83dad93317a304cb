#include "flows/Startup.h"

#include "config/ConfigFile.h"

namespace nebulor {

namespace {

constexpr const char* kCameraFailed = "Failed to start camera.";

// The application names itself (the COM application as "MaximDL") and its
// link error says why, as in "(are you running on a 64bit OS?)".
std::string connectManually(camera::Application& application) {
  return " - please connect " + application.name() +
         " to telescope manually for automatic airmass measurement";
}

// Creates the objects and links the camera. False (after its message) when
// that failed: then nothing else of start-up may run.
bool linkCamera(MonitorState& state, MonitorUi& ui, camera::AutomationServer& server,
                AutomationObjects& objects) {
  try {
    objects.application = server.createApplication();
    state.maximApp = objects.application.get();
    objects.camera = server.createCamera();
    state.camera = objects.camera.get();
    state.camera->setLinkEnabled(true);
    if (!state.camera->linkEnabled()) {
      ui.showMessage(kCameraFailed);
      return false;
    }
    state.camera->setDisableAutoShutdown(true);
    return true;
  } catch (const camera::AutomationError& error) {
    ui.showMessage(std::string(kCameraFailed) + "\n" + error.what());
    return false;
  }
}

void resetMonitorState(MonitorState& state) {
  state.fwhmHistory.fill(0);
  for (int star = 1; star <= 2; ++star) {
    state.starX[star] = 0;
    state.starY[star] = 0;
  }
  state.historyCount = 1;
  state.sampleIndex = 1;
  state.longStdDev = 0;
  state.transStdDev = 0;
  state.badSampleCount = 0;
  state.stopRequested = kTrue;  // no measurement is running
}

// The telescope serves the airmass only: a failure is reported and start-up goes on.
void linkTelescope(camera::Application& application, MonitorUi& ui) {
  try {
    application.setTelescopeConnected(true);
  } catch (const camera::AutomationError& error) {
    std::string reason = error.what();
    if (!reason.empty() && reason.back() == '.') reason.pop_back();  // it ends inside the parentheses
    ui.showMessage("Unable to connect to telescope (" + reason + ")" + connectManually(application));
    return;
  }
  bool linked = false;
  try {
    linked = application.telescopeConnected();
  } catch (const camera::AutomationError&) {
    linked = false;  // an unreadable link is no link
  }
  if (!linked) ui.showMessage("Failed to connect to telescope" + connectManually(application));
}

}  // namespace

void RunStartup(MonitorState& state, MonitorUi& ui, camera::AutomationServer& server,
                AutomationObjects& objects, const std::string& configFolder) {
  if (!linkCamera(state, ui, server, objects)) return;

  state.starsSelected = kFalse;
  const std::vector<std::string> warnings = LoadConfig(state.config, configFolder);
  state.configLoaded = true;
  resetMonitorState(state);
  ui.updateDisplay();
  linkTelescope(*state.maximApp, ui);
  if (!warnings.empty()) ui.showMessage(configWarningsMessage(warnings));
}

std::string configWarningsMessage(const std::vector<std::string>& warnings) {
  std::string text = "Some values in config.ini could not be used:";
  for (const std::string& warning : warnings) text += "\n" + warning;
  return text;
}

}  // namespace nebulor
