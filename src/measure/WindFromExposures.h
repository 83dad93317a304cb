#pragma once

#include <array>
#include <deque>
#include <optional>

#include "core/Config.h"
#include "measure/WindCorrection.h"

namespace nebulor {

// One reading's directions at both exposure times.
struct PoolEntry {
  std::array<DirectionEstimate, 2> single;
  std::array<DirectionEstimate, 2> twice;
  double exposure = 0;  // t, s
};

// The wind from readings of exposures of t and 2t, and the best estimate it
// corrects. In each direction the variance of the 2t exposures over that of
// the t exposures gives, through the frozen layer's response, the path
// u = v t / D and the wind's angle to the line joining the images; each
// direction's estimate at t is then divided by the share of the motion it
// kept, to the power 3/5.
//
// One reading's 20 exposures of each length give that ratio to about half
// its value, too little to tell a wind, so the ratio is pooled over the
// latest readings of the same exposure time (the wind aloft changes over
// tens of minutes, a reading takes seconds); the pool's own error is in the
// reading's stated error, and readings close together share it.
class ExposurePairWind {
 public:
  // `exposure` is t in seconds.
  WindCorrection correct(const std::array<std::optional<DirectionEstimate>, 2>& single,
                         const std::array<std::optional<DirectionEstimate>, 2>& twice, double exposure,
                         const Config& config);
  void clear() { pool_.clear(); }

 private:
  std::deque<PoolEntry> pool_;
};

// Readings pooled, and the fewest that give a wind.
inline constexpr std::size_t kPooledReadings = 100;
inline constexpr std::size_t kLeastPooledReadings = 10;

}  // namespace nebulor
