#pragma once

#include <cstddef>
#include <vector>

namespace nebulor {

// Values (seeing, tau0) each weighted by the measured time its reading
// stands for, as readingDurations() gives it: every figure of measured time,
// one night's or a site's, is read from one of these. A reading whose time
// is not known (a night's only reading) counts as one second.
//
// Quantiles: the sorted values stand at the middle of their share of the
// time, scaled so that the lowest is at 0 and the highest at 1, and are read
// linearly between. With equal durations that is the rank rule, (n - 1) p
// of the sorted values.
class TimeDistribution {
 public:
  void add(double value, double seconds);

  std::size_t size() const { return values_.size(); }
  double hours() const { return seconds_ / 3600; }  // measured: without the one-second stand-ins

  // The value below which the share p (0 to 1) of the time lies, for each p
  // in ascending order; NaN for each when there are no values.
  std::vector<double> quantiles(const std::vector<double>& shares);
  // Percent of the time with a value below each limit, limits ascending.
  std::vector<double> percentsBelow(const std::vector<double>& limits);
  // Hours with values in [i w, (i + 1) w) for each of `bins` bins, the last
  // also holding everything above.
  std::vector<double> hoursPerBin(double width, int bins);

 private:
  struct Weighted {
    double value;
    double seconds;
  };
  void sort();

  std::vector<Weighted> values_;
  double weights_ = 0;
  double seconds_ = 0;
  bool sorted_ = true;
};

}  // namespace nebulor
