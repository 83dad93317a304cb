#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>

#include "flows/AutoSelection.h"

namespace nebulor {

// Finding the stars again during an unattended run. When no exposure has
// been accepted for 50 exposures in a row or for 30 s (a cloud, the mount
// losing the star, a bump of the tube), a full frame is taken and the pair
// chosen again, at most once a minute; each attempt and its outcome are
// written to `log`.
class Reacquisition {
 public:
  using Clock = std::chrono::steady_clock;

  static constexpr int kRejectedInARow = 50;
  static constexpr std::chrono::seconds kWithoutAccepted{30};
  static constexpr std::chrono::seconds kBetweenAttempts{60};

  Reacquisition(
      AutoSelection& selection, std::ostream& log,
      std::function<Clock::time_point()> now = [] { return Clock::now(); });

  // A run begins: nothing has been rejected yet.
  void runStarted();

  // Told of every exposure of the run. True when a full frame was taken: the
  // camera then reads the whole sensor and the box may have moved, so the
  // caller sends the box again and starts the reading over.
  bool afterExposure(bool accepted, const std::function<bool()>& giveUp);

 private:
  AutoSelection& selection_;
  std::ostream& log_;
  std::function<Clock::time_point()> now_;
  int rejectedInARow_ = 0;
  Clock::time_point lastAccepted_;
  std::optional<Clock::time_point> lastAttempt_;
};

}  // namespace nebulor
