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
}

bool stopSignalled() { return signalled != 0; }

}  // namespace nebulor
