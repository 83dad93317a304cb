#include "core/ProgramMode.h"

namespace nebulor {

CommandStates commandStates(ProgramMode mode, bool starsSelected) {
  switch (mode) {
    case ProgramMode::idle:
      return {starsSelected, "Start Monitoring", true, true};
    case ProgramMode::selecting:
      return {false, "Start Monitoring", false, false};
    case ProgramMode::running:
      return {true, "Stop Monitoring", false, false};
    case ProgramMode::stopping:
      break;
  }
  return {false, "Start Monitoring", false, false};
}

}  // namespace nebulor
