#include "stars/Companion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>

#include "stars/FitSums.h"
#include "stars/LinearSolve.h"

namespace nebulor::stars::detail {
namespace {

// The companion is fitted from the pixels within this of its brightest, in a few passes.
constexpr double kCompanionFitInSigma = 2.0;
constexpr int kCompanionIterations = 8;

}  // namespace

std::optional<Star> fitCompanion(const Region& region, const Star& star, const Plane& plane,
                                 const CompanionSeed& seed, double gain) {
  Region rest = region;
  const double reach = kCompanionFitInSigma * star.sigma + 2;
  for (int y = rest.y0(); y <= rest.y1(); ++y) {
    for (int x = rest.x0(); x <= rest.x1(); ++x) {
      rest.set(x, y,
               std::hypot(x - seed.x, y - seed.y) <= reach
                   ? static_cast<float>(region.unmaskedAt(x, y) - imageLight(star, x, y))
                   : std::numeric_limits<float>::quiet_NaN());
    }
  }
  Star companion{static_cast<double>(seed.x), static_cast<double>(seed.y),
                 seed.excess * 2 * std::numbers::pi * star.sigma * star.sigma, star.sigma};
  for (int iteration = 0; iteration < kCompanionIterations; ++iteration) {
    const Sums sums = accumulate(rest, companion, plane, gain);
    // Its width is the star's: only position and flux are fitted.
    std::array<std::array<double, 3>, 3> fisher{};
    std::array<double, 3> step{};
    for (std::size_t a = 0; a < 3; ++a) {
      step[a] = sums.gradient[a];
      for (std::size_t b = 0; b < 3; ++b) fisher[a][b] = sums.fisher[a][b];
    }
    if (!solve(fisher, step)) return std::nullopt;
    companion.x += std::clamp(step[0], -1.0, 1.0);
    companion.y += std::clamp(step[1], -1.0, 1.0);
    companion.flux += step[2];
  }
  if (!(companion.flux > 0) || std::hypot(companion.x - seed.x, companion.y - seed.y) > 2)
    return std::nullopt;
  return companion;
}

}  // namespace nebulor::stars::detail
