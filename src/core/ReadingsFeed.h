#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "core/ProgramMode.h"

namespace nebulor {

using WallClock = std::chrono::system_clock;

// One reduced reading as Nebulor shows it to the outside.
struct PublishedReading {
  WallClock::time_point time;       // when it was reduced
  double seeing = 0;                // arcsec, the classical value
  std::optional<double> best;       // arcsec, lambda / r0 at the zenith at `wavelength`
  std::optional<double> bestError;  // arcsec, 1 sigma
  double wavelength = 0;            // micrometres, as config.ini gives it
  double exposureTime = 0;          // s, the exposure the best estimate refers to
  double airmass = 1;               //
  double r0 = 0;                    // cm, from the classical value
  int exposuresUsed = 0;            // of the exposures taken for the reading
  int exposuresRejected = 0;
};

// What the measurement is doing, and the readings so far.
struct FeedSnapshot {
  ProgramMode mode = ProgramMode::idle;
  WallClock::time_point modeSince;
  std::vector<PublishedReading> readings;  // oldest first
};

// The one way the readings reach the outside (the Alpaca device, the live
// page): the measurement publishes each reading and every change of mode,
// readers on any thread take copies. The lock covers only a push or a copy,
// so neither side ever waits on the other's work. The oldest readings go
// once kMaxReadings are kept (more than a long night at one a second).
class ReadingsFeed {
 public:
  static constexpr std::size_t kMaxReadings = 50000;

  void publish(const PublishedReading& reading);
  void setMode(ProgramMode mode, WallClock::time_point now = WallClock::now());

  // The mode and the readings from `since` on.
  FeedSnapshot snapshot(WallClock::time_point since = {}) const;
  std::optional<PublishedReading> latest() const;

 private:
  mutable std::mutex mutex_;
  ProgramMode mode_ = ProgramMode::idle;
  WallClock::time_point modeSince_ = WallClock::now();
  std::deque<PublishedReading> readings_;
};

}  // namespace nebulor
