#pragma once

#include <optional>
#include <vector>

namespace nebulor {

// The series is cut into this many batches of equal length; each batch must
// be far longer than the time over which neighbours stay correlated.
inline constexpr int kErrorBatches = 20;
// Batches shorter than this are too short to average out a correlation.
inline constexpr int kLeastBatchLength = 10;

// The 1-sigma error of the mean of a series whose neighbours are correlated,
// by batch means: the batches' means scatter as the whole series' mean would
// over independent repetitions, whatever the correlation within a batch, so
//   error = sd(batch means) / sqrt(batches).
// An error from the number of values alone, sd / sqrt(n), is far too small
// when neighbours are correlated. Nothing for a series too short to cut.
std::optional<double> batchMeansError(const std::vector<double>& values, int batches = kErrorBatches);

// The 1-sigma error of a value from its values recomputed with each of g
// parts of the data left out in turn (the jackknife):
//   error^2 = (g - 1) / g * sum (value_i - mean)^2.
// It holds for any smooth function of the data, ratios and fits included.
double jackknifeError(const std::vector<double>& leftOut);

}  // namespace nebulor
