#include "app/BackendFactory.h"

#include <vector>

#include "camera/sim/SimServer.h"
#include "camera/sim/SimSettings.h"
#ifdef NEBULOR_HAVE_INDI
#include "camera/indi/IndiAutomationServer.h"
#endif
#ifdef NEBULOR_HAVE_MAXIM
#include "camera/maxim/MaximAutomationServer.h"
#endif

namespace nebulor::camera {

namespace {

Backend makeSim(const std::string& settings, BackendUse use) {
  // Settings given later win, so the user's own keys override these.
  const std::string defaults = use == BackendUse::demo ? "" : "timing=realtime,";
  sim::SimSettings parsed;
  try {
    parsed = sim::parseSimSettings(defaults + settings);
  } catch (const sim::SimSettingsError& error) {
    throw BackendChoiceError(error.what());
  }
  auto server = std::make_unique<sim::SimServer>(std::move(parsed));
  Backend backend;
  backend.clicks = &server->clickState();
  backend.trueSeeing = server->trueSeeing();
  backend.trueTau0 = server->trueTau0();
  backend.setViewer = [raw = server.get()](FrameViewer* viewer) { raw->setViewer(viewer); };
  backend.server = std::move(server);
  return backend;
}

#ifdef NEBULOR_HAVE_INDI
// settings: HOST:PORT[:CCD[:MOUNT]] or /SOCKET[:CCD[:MOUNT]]. The server is
// reached when start-up creates the automation objects, not here.
Backend makeIndi(const std::string& settings, BackendUse) {
  indi::IndiOptions options;
  try {
    options = indi::parseIndiOptions(settings);
  } catch (const AutomationError& error) {
    throw BackendChoiceError(error.what());
  }
  auto server = std::make_unique<indi::IndiAutomationServer>(std::move(options));
  Backend backend;
  backend.clicks = &server->clickState();
  backend.setViewer = [raw = server.get()](FrameViewer* viewer) { raw->setViewer(viewer); };
  backend.setEventPump = [raw = server.get()](EventPump* pump, std::function<bool()> abandon) {
    raw->setEventPump(pump, std::move(abandon));
  };
  backend.server = std::move(server);
  return backend;
}
#endif

#ifdef NEBULOR_HAVE_MAXIM
// No settings: the imaging application has its own configuration and its
// own image window, where the user clicks the stars (the demo too).
Backend makeMaxim(const std::string& settings, BackendUse) {
  if (!settings.empty()) throw BackendChoiceError("--camera maxim takes no settings, not '" + settings + "'");
  Backend backend;
  backend.server = std::make_unique<maxim::MaximAutomationServer>();
  return backend;
}
#endif

struct Kind {
  const char* name;
  Backend (*make)(const std::string& settings, BackendUse use);
};

const std::vector<Kind>& kinds() {
  static const std::vector<Kind> table{
      {"sim", makeSim},
#ifdef NEBULOR_HAVE_INDI
      {"indi", makeIndi},
#endif
#ifdef NEBULOR_HAVE_MAXIM
      {"maxim", makeMaxim},
#endif
  };
  return table;
}

}  // namespace

Backend makeBackend(const std::string& choice, BackendUse use) {
  const std::size_t colon = choice.find(':');
  const std::string name = choice.substr(0, colon);
  const std::string settings = colon == std::string::npos ? std::string() : choice.substr(colon + 1);
  std::string known;
  for (const Kind& kind : kinds()) {
    if (name == kind.name) return kind.make(settings, use);
    known += (known.empty() ? "" : ", ") + std::string(kind.name);
  }
  throw BackendChoiceError("Unknown camera '" + name + "': this Nebulor knows " + known);
}

}  // namespace nebulor::camera
