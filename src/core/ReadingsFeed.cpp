#include "core/ReadingsFeed.h"

#include <algorithm>

namespace nebulor {

void ReadingsFeed::publish(const Reading& reading) {
  const std::lock_guard lock(mutex_);
  if (readings_.size() == kMaxReadings) readings_.pop_front();
  readings_.push_back(reading);
  ++published_;
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
                                          [since](const Reading& r) { return r.time < since; });
  return {mode_, modeSince_, std::vector<Reading>(first, readings_.end()), published_};
}

FeedSnapshot ReadingsFeed::after(std::uint64_t published) const {
  const std::lock_guard lock(mutex_);
  const std::size_t fresh = static_cast<std::size_t>(
      std::min<std::uint64_t>(published_ - std::min(published, published_), readings_.size()));
  return {mode_, modeSince_,
          std::vector<Reading>(readings_.end() - static_cast<std::ptrdiff_t>(fresh), readings_.end()),
          published_};
}

std::optional<Reading> ReadingsFeed::latest() const {
  const std::lock_guard lock(mutex_);
  if (readings_.empty()) return std::nullopt;
  return readings_.back();
}

}  // namespace nebulor
