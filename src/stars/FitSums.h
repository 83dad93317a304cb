#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "stars/BackgroundPlane.h"
#include "stars/GaussianImage.h"
#include "stars/Region.h"

namespace nebulor::stars::detail {

// A saturated pixel says only that the star is bright there.
inline constexpr float kFullScale = 65535.0F;

// One axis of the pixel-integrated Gaussian round `centre`: each pixel's
// share and its derivatives by the centre and by sigma.
struct AxisProfile {
  static constexpr std::size_t kMaxPixels =
      2 * static_cast<std::size_t>(kFitRadiusInSigma * kMaxSigma + 1) + 2;
  std::array<double, kMaxPixels> share, byCentre, bySigma;  // the first `count` are set

  AxisProfile(double centre, double sigma, int from, int to);
};

// The pixels the fit reads, within 4 sigma + 1 of the star, and the star's
// profile along each axis over them.
struct FitWindow {
  double radius;
  int x0, x1, y0, y1;
  AxisProfile px, py;

  FitWindow(const Region& region, const Star& star)
      : radius(kFitRadiusInSigma * star.sigma + 1),
        x0(std::max(static_cast<int>(std::ceil(star.x - radius)), region.x0())),
        x1(std::min(static_cast<int>(std::floor(star.x + radius)), region.x1())),
        y0(std::max(static_cast<int>(std::ceil(star.y - radius)), region.y0())),
        y1(std::min(static_cast<int>(std::floor(star.y + radius)), region.y1())),
        px(star.x, star.sigma, x0, x1),
        py(star.y, star.sigma, y0, y1) {}
};

struct Sums {
  std::array<std::array<double, 4>, 4> fisher{};
  std::array<double, 4> gradient{};
  double matched = 0;  // sum G^2 / V
  double signal = 0;   // sum G d / V
  bool saturated = false;
};

// One pass over the pixels of the fit: the Fisher matrix and the gradient of
// the log-likelihood of (x, y, flux, sigma).
Sums accumulate(const Region& region, const Star& star, const Plane& plane, double gain);

// The 1-sigma error of the position: the root mean square of the x and y
// variances, the Cramer-Rao bound of a star of the fitted shape.
double positionError(const std::array<std::array<double, 4>, 4>& fisher);

}  // namespace nebulor::stars::detail
