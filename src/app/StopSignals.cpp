#include "app/StopSignals.h"

#include <csignal>

namespace nebulor {

namespace {

volatile std::sig_atomic_t signalled = 0;

extern "C" void noteStopSignal(int) { signalled = 1; }

}  // namespace

void catchStopSignals() {
  std::signal(SIGINT, noteStopSignal);
  std::signal(SIGTERM, noteStopSignal);
#ifdef SIGHUP
  std::signal(SIGHUP, noteStopSignal);  // a closed terminal or session ends the run as SIGTERM does
#endif
}

bool stopSignalled() { return signalled != 0; }

}  // namespace nebulor
