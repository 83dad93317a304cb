#pragma once

#include <cstddef>
#include <vector>

namespace nebulor::stars::detail {

// The value with count / 2 values below it, reordering the values.
double median(double* values, std::size_t count);
double median(std::vector<double>& values);

}  // namespace nebulor::stars::detail
