#pragma once

#include "core/MonitorState.h"
#include "core/MonitorUi.h"
#include "core/ProgramMode.h"

namespace nebulor {

// Puts the program into `mode` and shows the commands commandStates gives for it.
void enterMode(MonitorState& state, MonitorUi& ui, ProgramMode mode);

}  // namespace nebulor
