#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "measure/BestEstimate.h"
#include "measure/SeeingReduction.h"

namespace nebulor {

// How a reading's frames followed each other.
struct FrameTiming {
  const std::uint64_t* sequence = nullptr;  // the camera's count of each frame (1..n): neighbours differ by 1
  double exposure = 0;                      // s
  double interval = 0;                      // s between the starts of neighbouring frames
};

// The accepted frames of one reading of fast acquisition, thousands where
// the exposure tables hold 200, kept as the reduction and the best estimate
// read them (1-based; index 0 unused).
class FrameSeries {
 public:
  FrameSeries() { clear(); }

  // `sequence` the camera's count of the frame, `arrival` when it came (s).
  void add(const std::array<float, 3>& x, const std::array<float, 3>& y, const std::array<float, 3>& error,
           double airmass, std::uint64_t sequence, double arrival);
  void clear();

  int size() const { return static_cast<int>(x_[1].size()) - 1; }
  double meanAirmass() const { return size() > 0 ? airmassSum_ / size() : 1.0; }
  PositionSeries positions() const;
  // The motion of the series once reduced.
  MotionSeries motion(const ReducedMotion& reduced) const;
  // Which frames were neighbours and how far apart they started, the
  // interval from the first and last frames' arrivals and counts.
  FrameTiming timing(double exposure) const;

 private:
  std::array<std::vector<float>, 3> x_;  // [star 1, 2][frame]
  std::array<std::vector<float>, 3> y_;
  std::array<std::vector<float>, 3> error_;
  std::vector<std::uint64_t> sequence_;
  double airmassSum_ = 0;
  double firstArrival_ = 0;
  double lastArrival_ = 0;
};

}  // namespace nebulor
