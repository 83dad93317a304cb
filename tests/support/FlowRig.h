#pragma once

#include <string>
#include <utility>
#include <vector>

#include "flows/MeasurementCycle.h"
#include "flows/StarSelection.h"
#include "flows/Startup.h"
#include "support/FakeMonitorUi.h"
#include "support/RawLogRows.h"
#include "support/ScriptedCamera.h"
#include "support/TempFolder.h"

namespace nebulor::testing {

// The flows over a scripted imaging application and a recording window.
struct FlowRig {
  TempFolder temp;
  ScriptedServer server;
  MonitorState state;
  FakeMonitorUi ui{&state};
  AutomationObjects objects;
  StarSelection selection{state, ui};
  MeasurementCycle cycle{state, ui, temp.folder()};

  ScriptedCamera& camera() { return *server.camera; }

  void startUp() { RunStartup(state, ui, server, objects, temp.folder()); }

  // A selection whose two clicks find the given centroids (full-frame pixels).
  void selectStars(stars::Centroid star1, stars::Centroid star2) {
    ScriptedImage fullFrame;
    fullFrame.centroids = {star1, star2};
    camera().images.push_back(fullFrame);
    ClickScript clicks(camera(), {{static_cast<std::int16_t>(star1.x), static_cast<std::int16_t>(star1.y)},
                                  {static_cast<std::int16_t>(star2.x), static_cast<std::int16_t>(star2.y)}});
    ui.onDispatch = [&clicks] { clicks.step(); };
    selection.CommandSelect_Click();
    ui.onDispatch = nullptr;
  }

  // The data rows of the raw log (the header line left out), without CR LF.
  std::vector<std::string> logRows() const { return rawLogRows(temp.read(kRawLogFileName)); }
};

}  // namespace nebulor::testing
