#include "flows/Reacquisition.h"

#include <string>
#include <utility>

namespace nebulor {

Reacquisition::Reacquisition(AutoSelection& selection, std::ostream& log,
                             std::function<Clock::time_point()> now)
    : selection_(selection), log_(log), now_(std::move(now)) {
  runStarted();
}

void Reacquisition::runStarted() {
  rejectedInARow_ = 0;
  lastAccepted_ = now_();
}

bool Reacquisition::afterExposure(bool accepted, const std::function<bool()>& giveUp) {
  const Clock::time_point now = now_();
  if (accepted) {
    rejectedInARow_ = 0;
    lastAccepted_ = now;
    return false;
  }
  ++rejectedInARow_;
  const bool tooMany = rejectedInARow_ >= kRejectedInARow;
  if (!tooMany && now - lastAccepted_ < kWithoutAccepted) return false;
  if (lastAttempt_ && now - *lastAttempt_ < kBetweenAttempts) return false;

  lastAttempt_ = now;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - lastAccepted_).count();
  log_ << "Stars lost: " << rejectedInARow_ << " exposures in a row rejected, none accepted for " << seconds
       << " s; taking a full frame to find them again." << std::endl;
  const AutoSelection::Result result = selection_.SelectStarsAutomatically(giveUp);
  switch (result.outcome) {
    case AutoSelection::Outcome::selected:
      log_ << "Stars found again; the reading starts over." << std::endl;
      break;
    case AutoSelection::Outcome::stopped:
      break;
    case AutoSelection::Outcome::refused:
      log_ << "Stars not found again: " << result.reason << " Next try in a minute at the earliest."
           << std::endl;
      break;
  }
  return true;
}

}  // namespace nebulor
