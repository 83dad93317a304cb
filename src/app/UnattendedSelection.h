#pragma once

#include <chrono>
#include <ostream>

#include "core/MonitorState.h"
#include "core/MonitorUi.h"
#include "flows/AutoSelection.h"

namespace nebulor {

// A full frame under a passing cloud shows no pair: this many are tried
// before the stars count as not found.
inline constexpr int kUnattendedAttempts = 50;
// How long the search goes on before it says what it is waiting for.
inline constexpr std::chrono::seconds kQuietSelection{5};

// The two star images chosen without a person, for the demo and the
// headless run alike: the automatic selection with the program in its
// selecting mode, up to kUnattendedAttempts full frames, then one line on
// err saying where the stars are or why none were chosen (an error of the
// imaging application included, which counts as refused) and what helps
// (--separation only where the run takes it). Stopped when the window
// closed or a stop came first.
AutoSelection::Outcome selectStarsUnattended(AutoSelection& selection, MonitorState& state, MonitorUi& ui,
                                             std::ostream& err, bool takesSeparation);

}  // namespace nebulor
