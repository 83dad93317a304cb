#pragma once

#include <ostream>

#include "core/MonitorState.h"
#include "core/MonitorUi.h"
#include "flows/AutoSelection.h"

namespace nebulor {

// The two star images chosen without a person, for the demo and the
// headless run alike: the automatic selection with the program in its
// selecting mode, then one line on err saying where the stars are or why
// none were chosen (an error of the imaging application included, which
// counts as refused). Stopped when the window closed or a stop came first.
AutoSelection::Outcome selectStarsUnattended(AutoSelection& selection, MonitorState& state, MonitorUi& ui,
                                             std::ostream& err);

}  // namespace nebulor
