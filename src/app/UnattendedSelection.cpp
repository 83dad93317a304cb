#include "app/UnattendedSelection.h"

#include <chrono>
#include <optional>
#include <string>

#include "core/CatchAll.h"
#include "core/NumberText.h"
#include "flows/EnterMode.h"

namespace nebulor {

namespace {

std::string sensorPosition(const MonitorState& state, int star) {
  return "(" + singleText(static_cast<float>(state.subframeMinX) + state.starX[star]) + ", " +
         singleText(static_cast<float>(state.subframeMinY) + state.starY[star]) + ")";
}

// What helps: a header without the plate scale stops the measurement too, so
// only the imaging application's settings mend it.
std::string refusalHelp(const AutoSelection::Result& result, bool takesSeparation) {
  if (result.lacksHeader) {
    return "The measurement needs them as well: give the telescope's focal length and the camera's pixel "
           "size "
           "in the imaging application's settings (with INDI, the mount's TELESCOPE_INFO and the camera's "
           "CCD_INFO).";
  }
  return std::string("Check that the telescope points at the star") +
         (takesSeparation ? ", or give the distance between its images in pixels with --separation MIN:MAX."
                          : ".");
}

}  // namespace

AutoSelection::Outcome selectStarsUnattended(AutoSelection& selection, MonitorState& state, MonitorUi& ui,
                                             std::ostream& err, bool takesSeparation) {
  // A stop ends the image wait by WaitAbandoned, which leaves this as it is.
  AutoSelection::Result result{AutoSelection::Outcome::stopped, {}};
  enterMode(state, ui, ProgramMode::selecting);
  const auto started = std::chrono::steady_clock::now();
  bool toldWaiting = false;
  const std::optional<Failure> failure = runCatchingAll([&] {
    for (int attempt = 1; attempt <= kUnattendedAttempts; ++attempt) {
      result = selection.SelectStarsAutomatically([] { return false; });
      if (result.outcome != AutoSelection::Outcome::refused || ui.windowClosing()) break;
      // Clouds or a camera without stars can keep this going for a minute: said once, not in silence.
      if (!toldWaiting && std::chrono::steady_clock::now() - started >= kQuietSelection) {
        toldWaiting = true;
        std::string latest = result.reason;
        if (latest.ends_with('.')) latest.pop_back();
        err << "Still looking for the two star images on full frames (" << attempt << " of up to "
            << kUnattendedAttempts << " tried; the latest: " << latest << ")" << std::endl;
      }
    }
  });
  enterMode(state, ui, ProgramMode::idle);
  if (failure) {
    err << failure->reason << std::endl;
    return AutoSelection::Outcome::refused;
  }
  switch (result.outcome) {
    case AutoSelection::Outcome::refused:
      err << "The two star images could not be chosen: " << result.reason << ' '
          << refusalHelp(result, takesSeparation) << std::endl;
      break;
    case AutoSelection::Outcome::selected:
      err << "Star images chosen at " << sensorPosition(state, 1) << " and " << sensorPosition(state, 2)
          << " on the sensor; monitoring." << std::endl;
      break;
    case AutoSelection::Outcome::stopped:
      break;
  }
  return result.outcome;
}

}  // namespace nebulor
