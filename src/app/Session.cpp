#include "app/Session.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "app/DemoUi.h"
#include "app/ExposureCorrectionChoice.h"
#include "app/Headless.h"
#include "app/StopSignals.h"
#include "app/UnattendedSelection.h"
#include "app/WindowPlacement.h"
#include "camera/ImageWindow.h"
#include "core/CatchAll.h"
#include "display/NightPalette.h"
#include "flows/Startup.h"
#include "measure/TonightsReadings.h"

namespace nebulor {

namespace {

// A click on one of the main window's buttons, as the user would make it.
void click(MainDisplay& window, const char* button) {
  window.findChild<QPushButton*>(QString::fromLatin1(button))->click();
}

// From the window's showing on, the backend's waits keep it alive and end
// on a stop click, a close or a closed image window; undone when the run ends.
class PumpedBackend {
 public:
  PumpedBackend(camera::Backend& backend, MonitorUi& ui, const MonitorState& state, const Session& session)
      : backend_(backend) {
    if (!backend_.setEventPump) return;
    backend_.setEventPump(&ui, [&state, &session] {
      return state.mode == ProgramMode::stopping || session.selection.abandoned();
    });
  }
  ~PumpedBackend() {
    if (backend_.setEventPump) backend_.setEventPump(nullptr, {});
  }
  PumpedBackend(const PumpedBackend&) = delete;
  PumpedBackend& operator=(const PumpedBackend&) = delete;

 private:
  camera::Backend& backend_;
};

}  // namespace

Session::Session(MonitorState& state, MainDisplay& window, MonitorUi& ui, const std::string& folder,
                 camera::ImageWindow* images)
    : selection(state, ui), cycle(state, ui, folder) {
  QObject::connect(&window, &MainDisplay::selectClicked, &window, [this, images, &state] {
    // The stars are clicked in the image window: bring it back if it was closed.
    if (images != nullptr && state.mode == ProgramMode::idle) {
      images->show();
      images->raise();
    }
    selection.CommandSelect_Click();
  });
  if (images != nullptr) {
    QObject::connect(images, &camera::ImageWindow::closed, &window,
                     [this] { selection.imageWindowClosed(); });
  }
  QObject::connect(&window, &MainDisplay::startAbortClicked, &window,
                   [this] { cycle.CommandStartAbort_Click(); });
  QObject::connect(&window, &MainDisplay::windowClosed, &window, [] { QCoreApplication::quit(); });
}

int runWindow(QApplication& app, camera::Backend& backend, const std::string& folder, WindowChoices choices,
              ReadingsFeed* feed) {
  // The backend's own image window, where the user clicks the two stars.
  std::unique_ptr<camera::ImageWindow> images;
  if (backend.clicks != nullptr && backend.setViewer) {
    images = std::make_unique<camera::ImageWindow>(*backend.clicks);
    images->setWindowTitle(QStringLiteral("Nebulor - camera image"));
    backend.setViewer(images.get());
  }
  MonitorState state;
  state.feed = feed;
  state.fixedExtrapolation = choices.fixedExtrapolation;
  MainDisplay window(state, folder);
  Session session(state, window, window, folder, images.get());
  if (images) {
    QObject::connect(&window, &MainDisplay::nightViewChanged, images.get(),
                     &camera::ImageWindow::setNightView);
  }
  window.setNightView(choices.night || rememberedNightView());
  window.setExposureCorrection(choices.exposureCorrection || rememberedExposureCorrection());
  window.setFastAcquisition(choices.fastAcquisition || rememberedFastAcquisition());
  // Only the user's own switches are remembered, not --night or --exposure-correction.
  QObject::connect(&window, &MainDisplay::nightViewChanged, &window, &rememberNightView);
  QObject::connect(&window, &MainDisplay::exposureCorrectionChanged, &window, &rememberExposureCorrection);
  QObject::connect(&window, &MainDisplay::fastAcquisitionChanged, &window, &rememberFastAcquisition);
  AutomationObjects objects;
  // Pumped from start-up on, so a stop signal (which closes the window) ends its waits too.
  const PumpedBackend pumped(backend, window, state, session);
  if (const std::optional<Failure> failure =
          runCatchingAll([&] { RunStartup(state, window, *backend.server, objects, folder); })) {
    window.showMessage(failure->reason);
  }
  if (feed != nullptr) {
    for (const std::string& note : seedWithTonight(*feed, folder, writtenWavelength(state.config)))
      window.showMessage(note);
  }
  if (window.windowClosing()) return EXIT_SUCCESS;
  window.show();
  if (images) showBesideOnceMapped(window, *images);
  const int exitCode = app.exec();
  if (images) backend.setViewer(nullptr);
  return exitCode;
}

int runDemo(QApplication& app, camera::Backend& backend, int readings, const std::string& folder,
            std::ostream& out, std::ostream& err, WindowChoices choices, ReadingsFeed* feed) {
  MonitorState state;
  state.feed = feed;
  state.fixedExtrapolation = choices.fixedExtrapolation;
  MainDisplay window(state, folder);
  window.setExposureCorrection(choices.exposureCorrection);
  window.setFastAcquisition(choices.fastAcquisition);
  DemoUi ui(window, state, out, err, readings, {backend.trueSeeing, backend.trueTau0},
            [&window] { click(window, "CommandStartAbort"); });
  Session session(state, window, ui, folder);
  AutomationObjects objects;
  RunStartup(state, ui, *backend.server, objects, folder);
  if (!state.configLoaded) return EXIT_FAILURE;  // the camera did not link; the message went to err
  seedFeed(feed, folder, state.config, err);
  window.show();
  const PumpedBackend pumped(backend, ui, state, session);

  int exitCode = EXIT_FAILURE;
  QTimer::singleShot(0, &window, [&] {
    // A backend that hands its images over has its stars chosen as the
    // headless run's are; on one that keeps them, the user clicks them.
    if (backend.clicks != nullptr) {
      AutoSelection selection(state, ui, std::nullopt);
      selectStarsUnattended(selection, state, ui, err, false);
    } else {
      click(window, "CommandSelect");
    }
    if (state.starsSelected == kTrue) click(window, "CommandStartAbort");
    ui.runEnded();
    // A stop signal ends the demo as it ends a headless run: as the user asked, not as a failure.
    const bool done = readings > 0 && ui.readingsPrinted() == readings;
    exitCode = done || stopSignalled() ? EXIT_SUCCESS : EXIT_FAILURE;
    app.quit();
  });
  app.exec();
  return exitCode;
}

}  // namespace nebulor
