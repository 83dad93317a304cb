#include "stars/OutlierMask.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

#include "stars/Defects.h"
#include "stars/FitSums.h"

namespace nebulor::stars::detail {
namespace {

// How far a real star image may differ from the Gaussian model (a Moffat
// core and wings, say): a share of the model where the pixel is, plus a
// share of the model's peak.
constexpr double kModelMismatch = 0.5;
constexpr double kWingMismatch = 0.06;
// A pixel above its mirror point by this many noise units of the difference
// holds light that is not the star's.
constexpr double kAsymmetryInNoise = 4.0;
// Such light further than this from the star's centre may be a companion.
constexpr double kCompanionInSigma = 2.5;

}  // namespace

int maskOutliers(Region& region, const Star& star, const Plane& plane, double gain, CompanionSeed& seed) {
  const FitWindow window(region, star);
  const double wing = kWingMismatch * star.flux * pixelShare(0, star.sigma) * pixelShare(0, star.sigma);
  const int width = window.x1 - window.x0 + 1, height = window.y1 - window.y0 + 1;
  if (width <= 0 || height <= 0) return 0;
  const auto cell = [&](int x, int y) {
    return static_cast<std::size_t>(y - window.y0) * width + (x - window.x0);
  };
  std::vector<double> residuals(static_cast<std::size_t>(width) * height);
  std::vector<double> models(residuals.size());
  for (int y = window.y0; y <= window.y1; ++y) {
    for (int x = window.x0; x <= window.x1; ++x) {
      const float raw = region.at(x, y);
      const double model = star.flux * window.px.share[static_cast<std::size_t>(x - window.x0)] *
                           window.py.share[static_cast<std::size_t>(y - window.y0)];
      const bool usable = !std::isnan(raw) && raw < kFullScale;
      residuals[cell(x, y)] =
          usable ? raw - plane.at(x, y) - model : std::numeric_limits<double>::quiet_NaN();
      models[cell(x, y)] = model;
    }
  }
  // A value at a point between pixels, bilinear; NaN off the window or next
  // to a pixel already left out.
  const auto interpolate = [&](const std::vector<double>& values, double x, double y) {
    const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    if (ix < window.x0 || iy < window.y0 || ix + 1 > window.x1 || iy + 1 > window.y1)
      return std::numeric_limits<double>::quiet_NaN();
    const double tx = x - ix, ty = y - iy;
    return (1 - ty) * ((1 - tx) * values[cell(ix, iy)] + tx * values[cell(ix + 1, iy)]) +
           ty * ((1 - tx) * values[cell(ix, iy + 1)] + tx * values[cell(ix + 1, iy + 1)]);
  };
  std::vector<std::pair<int, int>> outliers;
  for (int y = window.y0; y <= window.y1; ++y) {
    for (int x = window.x0; x <= window.x1; ++x) {
      const double residual = residuals[cell(x, y)];
      if (std::isnan(residual)) continue;
      const double model = models[cell(x, y)];
      const double noise = std::sqrt(2 * (plane.noise * plane.noise + std::max(model, 0.0) / gain));
      if (residual > kDefectInNoise * noise / std::numbers::sqrt2 + kModelMismatch * model + wing) {
        outliers.emplace_back(x, y);
        continue;
      }
      // The mirror's residual is rarely far below the noise: a pixel within
      // half the limit of the model needs no mirror.
      if (residual < 0.5 * kAsymmetryInNoise * noise) continue;
      const double mx = 2 * star.x - x, my = 2 * star.y - y;
      const double mirrored = interpolate(residuals, mx, my);
      // The model is symmetric: what its interpolation misses at the mirror
      // point, that of the residual may miss too.
      const double missed = std::abs(model - interpolate(models, mx, my));
      const double excess = residual - mirrored - missed;
      if (excess > kAsymmetryInNoise * noise) {
        if (excess > seed.excess && std::hypot(x - star.x, y - star.y) > kCompanionInSigma * star.sigma)
          seed = {true, x, y, excess};
        outliers.emplace_back(x, y);
        outliers.emplace_back(static_cast<int>(std::nearbyint(mx)), static_cast<int>(std::nearbyint(my)));
      }
    }
  }
  int count = 0;
  for (const auto& [x, y] : outliers) {
    if (std::isnan(region.at(x, y))) continue;
    region.mask(x, y);
    ++count;
  }
  return count;
}

}  // namespace nebulor::stars::detail
