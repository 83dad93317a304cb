#pragma once

namespace nebulor {

// SIGINT, SIGTERM and SIGHUP ask a run to stop, as closing the window does.
// The handler only sets a flag; the run's waits poll it.
void catchStopSignals();
bool stopSignalled();

}  // namespace nebulor
