#include "stars/Median.h"

#include <utility>

namespace nebulor::stars::detail {

// The value with count / 2 values below it, reordering the values:
// quickselect whose partitions swap without branching. On the few dozen
// unordered values of a sky sample std::nth_element mispredicts half its
// branches and took a fifth of the finder's time.
double median(double* values, std::size_t count) {
  const std::size_t k = count / 2;
  std::size_t lo = 0, hi = count - 1;
  while (lo < hi) {
    std::swap(values[lo + (hi - lo) / 2], values[hi]);
    const double pivot = values[hi];
    // [lo, below) below the pivot, then [below, equal) equal to it.
    std::size_t below = lo;
    for (std::size_t i = lo; i < hi; ++i) {
      const double v = values[i];
      values[i] = values[below];
      values[below] = v;
      below += v < pivot ? 1 : 0;
    }
    std::size_t equal = below;
    for (std::size_t i = below; i < hi; ++i) {
      const double v = values[i];
      values[i] = values[equal];
      values[equal] = v;
      equal += v == pivot ? 1 : 0;
    }
    std::swap(values[equal], values[hi]);
    if (k < below)
      hi = below - 1;
    else if (k > equal)
      lo = equal + 1;
    else
      return pivot;
  }
  return values[k];
}

double median(std::vector<double>& values) { return median(values.data(), values.size()); }

}  // namespace nebulor::stars::detail
