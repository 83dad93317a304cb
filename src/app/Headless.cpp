#include "app/Headless.h"

#include <cstdlib>
#include <memory>
#include <thread>
#include <utility>

#include "app/DemoUi.h"
#include "app/UnattendedSelection.h"
#include "core/CatchAll.h"
#include "flows/AutoSelection.h"
#include "flows/MeasurementCycle.h"
#include "flows/Reacquisition.h"
#include "flows/Startup.h"
#include "measure/TonightsReadings.h"

namespace nebulor {

namespace {

// The window of a run that has none: commands and read-outs go nowhere, the
// waits sleep, and a stop signal closes it, which ends every wait.
class NoWindow : public MonitorUi {
 public:
  explicit NoWindow(std::function<bool()> stopSignalled) : stopSignalled_(std::move(stopSignalled)) {}

  void setCommandEnabled(Command, bool) override {}
  void setStartAbortCaption(const std::string&) override {}
  void setStarCoords(int, const std::string&) override {}
  void setStarMoved(int, double) override {}
  void updateDisplay() override {}
  void showRejectedShare() override {}
  void showSkippedReading(const std::string&) override {}
  void showMessage(const std::string&) override {}
  void beep() override {}
  void dispatchEvents() override {}
  void sleep(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
  bool windowClosing() const override { return stopSignalled_(); }

 private:
  std::function<bool()> stopSignalled_;
};

}  // namespace

void seedFeed(ReadingsFeed* feed, const std::string& folder, const Config& config, std::ostream& err) {
  if (feed == nullptr) return;
  for (const std::string& note : seedWithTonight(*feed, folder, writtenWavelength(config)))
    err << "nebulor: " << note << '\n';
}

int runHeadless(camera::AutomationServer& server, const HeadlessRun& run, const std::string& folder,
                std::ostream& out, std::ostream& err) {
  MonitorState state;
  state.exposureCorrection = run.exposureCorrection;
  state.fixedExtrapolation = run.fixedExtrapolation;
  state.fastAcquisition = run.fastAcquisition;
  state.feed = run.feed;
  NoWindow window(run.stopSignalled);
  // Reaching the readings wanted is a stop click: the run ends at its next wait.
  DemoUi ui(window, state, out, err, run.readings, run.truth, [&state] { state.stopRequested = kTrue; });
  ui.neverGiveUp();
  MeasurementCycle cycle(state, ui, folder);
  AutoSelection selection(state, ui, run.separation);
  Reacquisition reacquisition(selection, err);
  cycle.setReacquisition(&reacquisition);

  // The server's waits poll the stop signal as every other wait does.
  if (run.setEventPump) run.setEventPump(&window, run.stopSignalled);
  const std::shared_ptr<void> unpump(nullptr, [&run](void*) {
    if (run.setEventPump) run.setEventPump(nullptr, {});
  });

  AutomationObjects objects;
  if (const std::optional<Failure> failure =
          runCatchingAll([&] { RunStartup(state, ui, server, objects, folder); })) {
    err << failure->reason << std::endl;
  }
  if (run.stopSignalled()) return EXIT_SUCCESS;
  if (!state.configLoaded) return EXIT_FAILURE;  // the camera did not link; the message went to err
  seedFeed(run.feed, folder, state.config, err);
  switch (selectStarsUnattended(selection, state, ui, err, true)) {
    case AutoSelection::Outcome::stopped:
      return EXIT_SUCCESS;
    case AutoSelection::Outcome::refused:
      return EXIT_FAILURE;
    case AutoSelection::Outcome::selected:
      break;
  }
  cycle.CommandStartAbort_Click();
  ui.runEnded();
  const bool done = run.readings > 0 && ui.readingsPrinted() == run.readings;
  return done || run.stopSignalled() ? EXIT_SUCCESS : EXIT_FAILURE;
}

}  // namespace nebulor
