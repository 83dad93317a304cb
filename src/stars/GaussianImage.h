#pragma once

#include <cmath>
#include <numbers>

namespace nebulor::stars::detail {

// Star widths (Gaussian sigma, px) the fit may take: from the sharpest image
// a pixel grid can show to a broad, badly focused one whose annulus still
// fits the copied region.
inline constexpr double kMinSigma = 0.5;
inline constexpr double kMaxSigma = 4.0;
// The fit reads pixels out to 4 sigma + 1 of the star.
inline constexpr double kFitRadiusInSigma = 4.0;

// The fit's running estimate of the star, frame coordinates.
struct Star {
  double x = 0;
  double y = 0;
  double flux = 0;  // counts above the background
  double sigma = 1;
};

// Share of a unit Gaussian of width sigma centred at 0 that falls on the
// pixel [offset - 1/2, offset + 1/2).
inline double pixelShare(double offset, double sigma) {
  const double scale = 1.0 / (sigma * std::numbers::sqrt2);
  return 0.5 * (std::erf((offset + 0.5) * scale) - std::erf((offset - 0.5) * scale));
}

// The light of an image of the star's width round (x, y).
inline double imageLight(const Star& image, double x, double y) {
  return image.flux * pixelShare(x - image.x, image.sigma) * pixelShare(y - image.y, image.sigma);
}

}  // namespace nebulor::stars::detail
