#include "stars/FitStart.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace nebulor::stars::detail {
namespace {

constexpr double kStartRadius = 6.0;
constexpr double kStartThresholdInNoise = 3.0;

}  // namespace

// The centre of the largest 3 x 3 sum in the box (sums clipped to the
// region), from column sums of three rows.
Peak brightestNeighbourhood(const Region& region, const Box& box) {
  const int left = std::max(box.x0 - 1, region.x0()), right = std::min(box.x1 + 1, region.x1());
  const auto count = static_cast<std::size_t>(right - left + 1);
  std::vector<double> columns(count);
  Peak best{box.x0, box.y0};
  double bestSum = -1;
  for (int y = box.y0; y <= box.y1; ++y) {
    // A row off the region counts as empty: the middle row again, weighted 0.
    const float* middle = region.from(left, y);
    const float* above = y > region.y0() ? region.from(left, y - 1) : middle;
    const float* below = y < region.y1() ? region.from(left, y + 1) : middle;
    const double aboveWeight = y > region.y0() ? 1.0 : 0.0, belowWeight = y < region.y1() ? 1.0 : 0.0;
    for (std::size_t i = 0; i < count; ++i)
      columns[i] = middle[i] + aboveWeight * above[i] + belowWeight * below[i];
    for (int x = box.x0; x <= box.x1; ++x) {
      const auto i = static_cast<std::size_t>(x - left);
      const double sum = columns[i] + (x > left ? columns[i - 1] : 0.0) + (x < right ? columns[i + 1] : 0.0);
      if (sum > bestSum) {
        bestSum = sum;
        best = {x, y};
      }
    }
  }
  return best;
}

bool thresholdedStart(const Region& region, const Peak& peak, const Background& background, Star& star) {
  const double floorLevel = background.level + kStartThresholdInNoise * background.noise;
  double sumW = 0, sumX = 0, sumY = 0, sumR2 = 0, flux = 0;
  const int reach = static_cast<int>(kStartRadius);
  for (int y = std::max(peak.y - reach, region.y0()); y <= std::min(peak.y + reach, region.y1()); ++y) {
    for (int x = std::max(peak.x - reach, region.x0()); x <= std::min(peak.x + reach, region.x1()); ++x) {
      const double dx = x - peak.x, dy = y - peak.y;
      if (dx * dx + dy * dy > kStartRadius * kStartRadius) continue;
      const double v = region.at(x, y);
      flux += v - background.level;
      if (!(v > floorLevel)) continue;
      const double w = v - background.level;
      sumW += w;
      sumX += w * dx;
      sumY += w * dy;
      sumR2 += w * (dx * dx + dy * dy);
    }
  }
  if (sumW <= 0) return false;
  const double mx = sumX / sumW, my = sumY / sumW;
  star.x = peak.x + mx;
  star.y = peak.y + my;
  // The threshold cuts the wings: the moments understate the width a little,
  // which the fit corrects.
  const double variance = std::max(sumR2 / sumW - mx * mx - my * my, 0.0) / 2.0;
  star.sigma = std::clamp(std::sqrt(variance + 1.0 / 12.0), kMinSigma, kMaxSigma);
  star.flux = std::max(flux, sumW);
  return true;
}

}  // namespace nebulor::stars::detail
