#pragma once

#include <ostream>
#include <string>

#include "app/BackendFactory.h"
#include "app/MainDisplay.h"
#include "core/MonitorState.h"
#include "core/MonitorUi.h"
#include "flows/MeasurementCycle.h"
#include "flows/StarSelection.h"

class QApplication;

namespace nebulor {

namespace camera {
class ImageWindow;
}

// One run of the program: the selection and the measurement cycle wired to
// the main window's "Select Stars" and start/stop commands. Closing the
// window ends every wait, and the program once the running command has unwound.
// With the backend's image window, "Select Stars" shows it again, and closing
// it ends a running selection.
class Session {
 public:
  Session(MonitorState& state, MainDisplay& window, MonitorUi& ui, const std::string& folder,
          camera::ImageWindow* images = nullptr);

  StarSelection selection;
  MeasurementCycle cycle;
};

// The window for a person: start-up (its messages in message boxes), then
// the window until it is closed. folder holds config.ini and the raw log.
// The night view and the exposure-time correction are as last chosen, or on
// for this run when night or exposureCorrection is set.
struct WindowChoices {
  bool night = false;
  bool exposureCorrection = false;
  bool fastAcquisition = false;
  bool fixedExtrapolation = false;  // the correction, when on, by the fixed extrapolation
};
// The readings are published to feed when one is given.
int runWindow(QApplication& app, camera::Backend& backend, const std::string& folder, WindowChoices choices,
              ReadingsFeed* feed = nullptr);

// The demo: start-up, the two stars chosen automatically, monitoring until
// `readings` readings have been printed to out, then exit code 0. Messages go
// to err; a run that ends before the readings are complete gives exit code 1.
// The choices are the command line's, as for the window; the night view is never shown.
int runDemo(QApplication& app, camera::Backend& backend, int readings, const std::string& folder,
            std::ostream& out, std::ostream& err, WindowChoices choices = {}, ReadingsFeed* feed = nullptr);

}  // namespace nebulor
