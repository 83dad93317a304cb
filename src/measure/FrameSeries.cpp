#include "measure/FrameSeries.h"

namespace nebulor {

void FrameSeries::add(const std::array<float, 3>& x, const std::array<float, 3>& y,
                      const std::array<float, 3>& error, double airmass, std::uint64_t sequence,
                      double arrival) {
  if (size() == 0) firstArrival_ = arrival;
  lastArrival_ = arrival;
  sequence_.push_back(sequence);
  for (int star = 1; star <= 2; ++star) {
    x_[star].push_back(x[star]);
    y_[star].push_back(y[star]);
    error_[star].push_back(error[star]);
  }
  airmassSum_ += airmass;
}

void FrameSeries::clear() {
  for (int star = 1; star <= 2; ++star) {
    x_[star].assign(1, 0.0f);  // the unused slot 0
    y_[star].assign(1, 0.0f);
    error_[star].assign(1, 0.0f);
  }
  sequence_.assign(1, 0);
  airmassSum_ = 0;
}

PositionSeries FrameSeries::positions() const {
  return {{nullptr, x_[1].data(), x_[2].data()}, {nullptr, y_[1].data(), y_[2].data()}, size()};
}

MotionSeries FrameSeries::motion(const ReducedMotion& reduced) const {
  return {reduced.longDeviations.data(),
          reduced.transDeviations.data(),
          {nullptr, error_[1].data(), error_[2].data()},
          size()};
}

FrameTiming FrameSeries::timing(double exposure) const {
  const int n = size();
  const double counted = n > 1 ? static_cast<double>(sequence_[n] - sequence_[1]) : 0;
  return {sequence_.data(), exposure, counted > 0 ? (lastArrival_ - firstArrival_) / counted : exposure};
}

}  // namespace nebulor
