#include "measure/RunningMedian.h"

#include <algorithm>
#include <cmath>

namespace nebulor {

namespace {

double middleOf(const std::vector<double>& sorted) {
  const std::size_t n = sorted.size();
  if (n == 0) return std::nan("");
  return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

}  // namespace

std::vector<double> runningMedians(const std::vector<std::time_t>& times, const std::vector<double>& values,
                                   std::time_t before, std::time_t after) {
  std::vector<double> medians(values.size());
  std::vector<double> window;  // kept sorted
  std::size_t first = 0;
  std::size_t last = 0;  // one past the window
  for (std::size_t i = 0; i < values.size(); ++i) {
    for (; last < values.size() && times[last] <= times[i] + after; ++last)
      window.insert(std::upper_bound(window.begin(), window.end(), values[last]), values[last]);
    for (; times[first] < times[i] - before; ++first)
      window.erase(std::lower_bound(window.begin(), window.end(), values[first]));
    medians[i] = middleOf(window);
  }
  return medians;
}

double medianOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return middleOf(values);
}

}  // namespace nebulor
