#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "camera/Automation.h"
#include "camera/ClickState.h"
#include "camera/FrameViewer.h"
#include "core/EventPump.h"

namespace nebulor::camera {

// The imaging application chosen on the command line, with what the window
// and the demo may use of it besides the automation objects.
struct Backend {
  std::unique_ptr<AutomationServer> server;
  ClickState* clicks = nullptr;                 // its image window's click state, if it has one
  std::function<void(FrameViewer*)> setViewer;  // where its images are shown; empty: nowhere
  // For a backend whose operations wait on a server: the window's event pump
  // and what abandons a wait (nullptr: block). Empty: it never waits long.
  std::function<void(EventPump*, std::function<bool()>)> setEventPump;
  std::optional<double> trueSeeing;  // arcsec, when the backend knows the truth
  std::optional<double> trueTau0;    // ms, at the zenith, when the backend knows it
};

enum class BackendUse {
  window,    // a person clicks the stars and watches: images arrive in real time
  demo,      // the stars chosen automatically, images at once
  headless,  // no window: nobody clicks or watches, images arrive in real time
};

// A --camera choice that names no backend or has bad settings; what() is one line.
class BackendChoiceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// choice is KIND or KIND:SETTINGS, e.g. "sim", "sim:seeing=0.8,altitude=40".
// The use sets defaults that the settings may override.
Backend makeBackend(const std::string& choice, BackendUse use);

}  // namespace nebulor::camera
