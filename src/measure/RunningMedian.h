#pragma once

#include <ctime>
#include <vector>

namespace nebulor {

// For each value, the median of the values whose times lie from `before`
// seconds before its own to `after` seconds after it. Times ascending, one
// per value. A window slides over the night, so the cost stays near
// linear in the values for any window.
std::vector<double> runningMedians(const std::vector<std::time_t>& times, const std::vector<double>& values,
                                   std::time_t before, std::time_t after);

// The median of values, halfway between the middle two of an even count; NaN when empty.
double medianOf(std::vector<double> values);

}  // namespace nebulor
