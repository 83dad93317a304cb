#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "app/DemoUi.h"
#include "camera/Automation.h"
#include "core/Config.h"
#include "core/EventPump.h"
#include "core/ReadingsFeed.h"
#include "stars/StarPair.h"

namespace nebulor {

// What an unattended run is told.
struct HeadlessRun {
  int readings = 0;                                  // stop after this many; 0: until stopped
  std::optional<stars::SeparationRange> separation;  // pixels; default: from the frame's plate scale
  KnownTruth truth;                                  // what the backend knows of the sky
  std::function<bool()> stopSignalled;               // polled by every wait
  bool exposureCorrection = false;                   // exposures of t and 2t, the best estimate extrapolated
  bool fixedExtrapolation = false;                   // ... by the fixed extrapolation, not the measured wind
  bool fastAcquisition = false;                      // frames back to back, a reading per minute of them
  ReadingsFeed* feed = nullptr;                      // where the readings are published; none: nowhere
  // The backend's event pump setter (see camera::Backend), so its waits on a
  // server poll stopSignalled too; empty for a backend that never waits long.
  std::function<void(EventPump*, std::function<bool()>)> setEventPump;
};

// The unattended run, with no window and no display: start-up as the window
// does it (messages to err), the stars chosen automatically, then monitoring
// with one line per reading on out (see DemoUi) and the raw log in folder,
// the stars found again whenever they are lost. A stop signal ends it as
// "Stop Monitoring" does. Returns the exit code: 0 when stopped or the
// readings are complete, 1 when the run ended on an error (its message on err).
int runHeadless(camera::AutomationServer& server, const HeadlessRun& run, const std::string& folder,
                std::ostream& out, std::ostream& err);

// The feed, when there is one, begins with the night's readings from the
// log in folder (seedWithTonight); what is wrong with the log goes to err.
void seedFeed(ReadingsFeed* feed, const std::string& folder, const Config& config, std::ostream& err);

}  // namespace nebulor
