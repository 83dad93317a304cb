#pragma once

#include <memory>
#include <string>
#include <vector>

#include "camera/Automation.h"
#include "core/MonitorState.h"
#include "core/MonitorUi.h"

namespace nebulor {

// The imaging application's automation objects. They live for the whole run;
// MonitorState points at them.
struct AutomationObjects {
  std::unique_ptr<camera::Application> application;
  std::unique_ptr<camera::Camera> camera;
};

// Start-up, run once when the main window loads: creates the automation
// objects, links the camera and, only if the link holds, loads config.ini
// from configFolder, puts the state into its idle condition, refreshes the
// display and tries to link the telescope. Each failure gets its message; a
// camera that cannot be created or linked leaves the configuration unloaded
// (configLoaded false), so config.ini is never rewritten with those zeros.
// Values config.ini held that could not be used are reported last, in one
// message.
void RunStartup(MonitorState& state, MonitorUi& ui, camera::AutomationServer& server,
                AutomationObjects& objects, const std::string& configFolder);

// One message listing the config.ini lines that were not used.
std::string configWarningsMessage(const std::vector<std::string>& warnings);

}  // namespace nebulor
