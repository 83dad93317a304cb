#pragma once

namespace nebulor {

// SIGINT and SIGTERM ask an unattended run to stop. The handler only sets a
// flag; the run's waits poll it.
void catchStopSignals();
bool stopSignalled();

}  // namespace nebulor
