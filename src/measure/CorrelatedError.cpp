#include "measure/CorrelatedError.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace nebulor {

std::optional<double> batchMeansError(const std::vector<double>& values, int batches) {
  const std::size_t length = batches > 1 ? values.size() / static_cast<std::size_t>(batches) : 0;
  if (length < static_cast<std::size_t>(kLeastBatchLength)) return std::nullopt;
  // The values beyond whole batches are left out: the same length for every batch.
  std::vector<double> means(static_cast<std::size_t>(batches));
  double total = 0;
  for (std::size_t b = 0; b < means.size(); ++b) {
    double sum = 0;
    for (std::size_t i = b * length; i < (b + 1) * length; ++i) sum += values[i];
    means[b] = sum / static_cast<double>(length);
    total += means[b];
  }
  const double mean = total / batches;
  double squares = 0;
  for (const double m : means) squares += (m - mean) * (m - mean);
  return std::sqrt(squares / (batches - 1) / batches);
}

double jackknifeError(const std::vector<double>& leftOut) {
  const double g = static_cast<double>(leftOut.size());
  double sum = 0, square = 0;
  for (const double v : leftOut) sum += v, square += v * v;
  return std::sqrt(std::max((g - 1) / g * (square - sum * sum / g), 0.0));
}

}  // namespace nebulor
