#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/MonitorState.h"
#include "core/MonitorUi.h"
#include "stars/StarPair.h"

namespace nebulor {

// The stars chosen without a click, for unattended runs: one full-frame
// exposure of initialExposure, the mask's pair chosen on it, then the box and
// star positions that two clicks on those star images would give.
class AutoSelection {
 public:
  enum class Outcome { selected, stopped, refused };
  struct Result {
    Outcome outcome = Outcome::refused;
    std::string reason;        // why it was refused, one line
    bool lacksHeader = false;  // refused for want of the focal length or the pixel size
  };

  // separation in pixels; without it the plausible range follows from the
  // image's focal length and pixel size.
  AutoSelection(MonitorState& state, MonitorUi& ui, std::optional<stars::SeparationRange> separation);

  // Sets starsSelected when it selects; when refused or stopped, the box and
  // star positions stay as they were. The image wait ends when giveUp() says
  // so or the window is closing. Errors of the imaging application pass through.
  Result SelectStarsAutomatically(const std::function<bool()>& giveUp);

 private:
  MonitorState& state_;
  MonitorUi& ui_;
  std::optional<stars::SeparationRange> separation_;
};

}  // namespace nebulor
