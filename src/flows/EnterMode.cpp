#include "flows/EnterMode.h"

#include "core/ReadingsFeed.h"

namespace nebulor {

void enterMode(MonitorState& state, MonitorUi& ui, ProgramMode mode) {
  state.mode = mode;
  if (state.feed != nullptr) state.feed->setMode(mode);
  const CommandStates commands = commandStates(mode, state.starsSelected == kTrue);
  ui.setStartAbortCaption(commands.caption);
  ui.setCommandEnabled(MonitorUi::Command::StartAbort, commands.startAbort);
  ui.setCommandEnabled(MonitorUi::Command::Select, commands.select);
  ui.setCommandEnabled(MonitorUi::Command::Setup, commands.setup);
}

}  // namespace nebulor
