#include "core/ReadingsFeed.h"

#include <algorithm>

namespace nebulor {

void ReadingsFeed::publish(const PublishedReading& reading) {
  const std::lock_guard lock(mutex_);
  if (readings_.size() == kMaxReadings) readings_.pop_front();
  readings_.push_back(reading);
}

void ReadingsFeed::setMode(ProgramMode mode, WallClock::time_point now) {
  const std::lock_guard lock(mutex_);
  if (mode == mode_) return;
  mode_ = mode;
  modeSince_ = now;
}

FeedSnapshot ReadingsFeed::snapshot(WallClock::time_point since) const {
  const std::lock_guard lock(mutex_);
  const auto first = std::partition_point(readings_.begin(), readings_.end(),
                                          [since](const PublishedReading& r) { return r.time < since; });
  return {mode_, modeSince_, std::vector<PublishedReading>(first, readings_.end())};
}

std::optional<PublishedReading> ReadingsFeed::latest() const {
  const std::lock_guard lock(mutex_);
  if (readings_.empty()) return std::nullopt;
  return readings_.back();
}

}  // namespace nebulor
