#include "stars/FitSums.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "stars/LinearSolve.h"

namespace nebulor::stars::detail {
namespace {

double variance(std::array<std::array<double, 4>, 4> fisher, std::size_t parameter) {
  std::array<double, 4> unit{};
  unit[parameter] = 1;
  return solve(fisher, unit) ? unit[parameter] : std::numeric_limits<double>::infinity();
}

}  // namespace

AxisProfile::AxisProfile(double centre, double sigma, int from, int to) {
  const std::size_t count = std::min(static_cast<std::size_t>(std::max(to - from + 1, 0)), kMaxPixels);
  const double scale = 1.0 / (sigma * std::numbers::sqrt2);
  const double density = 1.0 / (sigma * std::sqrt(2.0 * std::numbers::pi));
  double t = from - 0.5 - centre;
  double lowerErf = std::erf(t * scale);
  double lowerPdf = density * std::exp(-0.5 * t * t / (sigma * sigma));
  double lowerT = t;
  for (std::size_t i = 0; i < count; ++i) {
    t = from + static_cast<double>(i) + 0.5 - centre;
    const double upperErf = std::erf(t * scale);
    const double upperPdf = density * std::exp(-0.5 * t * t / (sigma * sigma));
    share[i] = 0.5 * (upperErf - lowerErf);
    byCentre[i] = lowerPdf - upperPdf;
    bySigma[i] = (lowerT * lowerPdf - t * upperPdf) / sigma;
    lowerErf = upperErf;
    lowerPdf = upperPdf;
    lowerT = t;
  }
}

Sums accumulate(const Region& region, const Star& star, const Plane& plane, double gain) {
  Sums sums;
  const FitWindow window(region, star);
  const AxisProfile& px = window.px;
  const AxisProfile& py = window.py;
  const double skyVariance = plane.noise * plane.noise;
  const double perCount = 1.0 / gain;  // a multiplication: the division held up every pixel
  std::array<std::array<double, 4>, 4>& f = sums.fisher;
  for (int y = window.y0; y <= window.y1; ++y) {
    const std::size_t j = static_cast<std::size_t>(y - window.y0);
    const double dy = y - star.y;
    const double reach = window.radius * window.radius - dy * dy;
    if (reach < 0) continue;
    const double half = std::sqrt(reach);
    const int from = std::max(static_cast<int>(std::ceil(star.x - half)), window.x0);
    const int to = std::min(static_cast<int>(std::floor(star.x + half)), window.x1);
    const float* pixels = region.from(window.x0, y);
    for (int x = from; x <= to; ++x) {
      const std::size_t i = static_cast<std::size_t>(x - window.x0);
      const float raw = pixels[i];
      if (std::isnan(raw)) continue;  // masked
      // A saturated pixel says only that the star is bright there: left out.
      if (raw >= kFullScale) {
        sums.saturated = true;
        continue;
      }
      const double g = px.share[i] * py.share[j];
      const double model = star.flux * g;
      const double inverse = 1.0 / (skyVariance + std::max(model, 0.0) * perCount);
      const double data = raw - plane.at(x, y);
      const double j0 = star.flux * px.byCentre[i] * py.share[j],
                   j1 = star.flux * px.share[i] * py.byCentre[j];
      const double j3 = star.flux * (px.bySigma[i] * py.share[j] + px.share[i] * py.bySigma[j]);
      const double w0 = j0 * inverse, w1 = j1 * inverse, w2 = g * inverse, w3 = j3 * inverse;
      const double residual = data - model;
      sums.gradient[0] += w0 * residual;
      sums.gradient[1] += w1 * residual;
      sums.gradient[2] += w2 * residual;
      sums.gradient[3] += w3 * residual;
      // Written out: the compiler leaves the triangular loop rolled.
      f[0][0] += w0 * j0, f[0][1] += w0 * j1, f[0][2] += w0 * g, f[0][3] += w0 * j3;
      f[1][1] += w1 * j1, f[1][2] += w1 * g, f[1][3] += w1 * j3;
      f[2][2] += w2 * g, f[2][3] += w2 * j3;
      f[3][3] += w3 * j3;
      sums.matched += g * w2;
      sums.signal += data * w2;
    }
  }
  for (std::size_t a = 0; a < 4; ++a) {
    for (std::size_t b = 0; b < a; ++b) f[a][b] = f[b][a];
  }
  return sums;
}

double positionError(const std::array<std::array<double, 4>, 4>& fisher) {
  return std::sqrt((variance(fisher, 0) + variance(fisher, 1)) / 2.0);
}

}  // namespace nebulor::stars::detail
