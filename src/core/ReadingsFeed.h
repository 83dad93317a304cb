#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "core/ProgramMode.h"
#include "core/Reading.h"

namespace nebulor {

// What the measurement is doing, and the readings so far.
struct FeedSnapshot {
  ProgramMode mode = ProgramMode::idle;
  WallClock::time_point modeSince;
  std::vector<Reading> readings;  // oldest first
  std::uint64_t published = 0;    // readings published since the start, the last of them included
};

// The one way the readings reach the outside (the Alpaca device, the live
// page, the window's night chart): seeded at start-up with the night's
// readings from the log, so they show the whole night across restarts; the measurement publishes each reading
// and every change of mode, readers on any thread take copies. The lock covers only a push or a copy, so
// neither side ever waits on the other's work. The oldest readings go once kMaxReadings are kept (more than a
// long night at one a second).
class ReadingsFeed {
 public:
  static constexpr std::size_t kMaxReadings = 50000;

  void publish(const Reading& reading);
  void setMode(ProgramMode mode, WallClock::time_point now = WallClock::now());

  // The mode and the readings from `since` on.
  FeedSnapshot snapshot(WallClock::time_point since = {}) const;
  // The mode and the readings published after the first `published` ones
  // (as many as are still kept), so a follower copies only what is new.
  FeedSnapshot after(std::uint64_t published) const;
  std::optional<Reading> latest() const;

 private:
  mutable std::mutex mutex_;
  ProgramMode mode_ = ProgramMode::idle;
  WallClock::time_point modeSince_ = WallClock::now();
  std::deque<Reading> readings_;
  std::uint64_t published_ = 0;
};

}  // namespace nebulor
