#pragma once

#include "stars/GaussianImage.h"
#include "stars/Region.h"

namespace nebulor::stars::detail {

// The annulus lies beyond the fit's pixels, out to 4 sigma + 7.
inline constexpr double kAnnulusGap = 1.0;
inline constexpr double kAnnulusWidth = 5.0;

struct Plane {
  double level = 0;  // at (x, y) of the star it was fitted round
  double slopeX = 0;
  double slopeY = 0;
  double noise = kMinimumNoise;
  double x = 0, y = 0;
  double at(double px, double py) const { return level + slopeX * (px - x) + slopeY * (py - y); }
};

inline double annulusInner(double sigma) { return kFitRadiusInSigma * sigma + 1 + kAnnulusGap; }

// The plane through the annulus round the star, and the sky and read noise
// about it (never below minimumNoise).
Plane fitPlane(const Region& region, const Star& star, double minimumNoise);

}  // namespace nebulor::stars::detail
