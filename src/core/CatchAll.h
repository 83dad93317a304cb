#pragma once

#include <functional>
#include <optional>

#include "core/Failure.h"

namespace nebulor {

// Runs the work of a command handler and catches whatever it throws, so no
// exception ever reaches the event loop (which would end the program).
// Returns nothing when the work ended normally or its wait was abandoned
// (WaitAbandoned: the user asked for it), otherwise what went wrong.
std::optional<Failure> runCatchingAll(const std::function<void()>& work);

}  // namespace nebulor
