#include "measure/TimeDistribution.h"

#include <algorithm>
#include <cmath>

namespace nebulor {

void TimeDistribution::add(double value, double seconds) {
  const double weight = seconds > 0 ? seconds : 1;
  sorted_ = sorted_ && (values_.empty() || values_.back().value <= value);
  values_.push_back({value, weight});
  weights_ += weight;
  if (seconds > 0) seconds_ += seconds;
}

void TimeDistribution::sort() {
  if (sorted_) return;
  std::sort(values_.begin(), values_.end(),
            [](const Weighted& a, const Weighted& b) { return a.value < b.value; });
  sorted_ = true;
}

std::vector<double> TimeDistribution::quantiles(const std::vector<double>& shares) {
  std::vector<double> found(shares.size(), std::nan(""));
  if (values_.empty()) return found;
  sort();
  // Value i stands at the time below it plus half its own, less half the lowest's.
  const double span = weights_ - (values_.front().seconds + values_.back().seconds) / 2;
  std::size_t i = 0;
  double at = 0;  // where value i stands
  for (std::size_t k = 0; k < shares.size(); ++k) {
    const double wanted = shares[k] * span;
    for (; i + 1 < values_.size(); ++i) {
      const double next = at + (values_[i].seconds + values_[i + 1].seconds) / 2;
      if (next >= wanted) break;
      at = next;
    }
    if (i + 1 >= values_.size() || span <= 0) {
      found[k] = values_[i].value;
      continue;
    }
    const double step = (values_[i].seconds + values_[i + 1].seconds) / 2;
    const double fraction = std::clamp((wanted - at) / step, 0.0, 1.0);
    // Kept between its neighbours: rounding must not put a quantile past the next value.
    found[k] = std::clamp(values_[i].value + fraction * (values_[i + 1].value - values_[i].value),
                          values_[i].value, values_[i + 1].value);
  }
  return found;
}

std::vector<double> TimeDistribution::percentsBelow(const std::vector<double>& limits) {
  std::vector<double> percents(limits.size(), 0);
  if (values_.empty()) return percents;
  sort();
  std::size_t i = 0;
  double below = 0;
  for (std::size_t k = 0; k < limits.size(); ++k) {
    for (; i < values_.size() && values_[i].value < limits[k]; ++i) below += values_[i].seconds;
    percents[k] = 100 * below / weights_;
  }
  return percents;
}

std::vector<double> TimeDistribution::hoursPerBin(double width, int bins) {
  std::vector<double> hours(static_cast<std::size_t>(std::max(bins, 0)), 0);
  if (hours.empty()) return hours;
  for (const Weighted& v : values_) {
    const double bin = std::clamp(std::floor(v.value / width), 0.0, static_cast<double>(bins - 1));
    hours[static_cast<std::size_t>(bin)] += v.seconds / 3600;
  }
  return hours;
}

}  // namespace nebulor
