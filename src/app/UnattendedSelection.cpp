#include "app/UnattendedSelection.h"

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

}  // namespace

AutoSelection::Outcome selectStarsUnattended(AutoSelection& selection, MonitorState& state, MonitorUi& ui,
                                             std::ostream& err) {
  // A stop ends the image wait by WaitAbandoned, which leaves this as it is.
  AutoSelection::Result result{AutoSelection::Outcome::stopped, {}};
  enterMode(state, ui, ProgramMode::selecting);
  const std::optional<Failure> failure =
      runCatchingAll([&] { result = selection.SelectStarsAutomatically([] { return false; }); });
  enterMode(state, ui, ProgramMode::idle);
  if (failure) {
    err << failure->reason << std::endl;
    return AutoSelection::Outcome::refused;
  }
  switch (result.outcome) {
    case AutoSelection::Outcome::refused:
      err << "The two star images could not be chosen: " << result.reason
          << " Check that the telescope points at the star, or give the distance between its images in "
             "pixels with --separation MIN:MAX."
          << std::endl;
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
