#pragma once

#include <cmath>

namespace nebulor {

// How the differential motion of two star images answers to turbulence:
//   sigma^2 = K lambda^2 D^(-1/3) r0^(-5/3) airmass
// along (long) and across (trans) the line joining them, b = B / D.

// The images' G-tilt, their intensity centroids (Tokovinin 2002, PASP 114,
// 1156), for b of 2 or more:
//   K_long  = 0.340 (1 - 0.570 b^(-1/3) - 0.040 b^(-7/3))
//   K_trans = 0.340 (1 - 0.855 b^(-1/3) + 0.030 b^(-7/3))
inline double gTiltLongCoefficient(double b) {
  return 0.340 * (1 - 0.570 * std::pow(b, -1.0 / 3.0) - 0.040 * std::pow(b, -7.0 / 3.0));
}

inline double gTiltTransCoefficient(double b) {
  return 0.340 * (1 - 0.855 * std::pow(b, -1.0 / 3.0) + 0.030 * std::pow(b, -7.0 / 3.0));
}

// The star finder's fitted centroid follows an image's core, not its
// intensity centroid: each image gains a motion of its own, which adds to K
//   along:  0.0311 + 0.0013 x^2
//   across: 0.0286 + 0.0013 x^2,    x = D / r0 along the line of sight
// (r0 at the zenith times airmass^-3/5). Measured on images formed by
// Fourier optics from phase screens (bench_centroid_response,
// docs/validation.md): within 1% of the measured response for x of 0.5 to
// 2, b of 2 to 5, lambda / D of 1.9 to 5.6 pixels and star fluxes of 1e5 and
// 1e6 electrons per second. The extra motion hardly depends on b (it is the
// images' own), so its share shrinks as the holes' distance grows.
inline double finderLongCoefficient(double b, double dOverR0) {
  return gTiltLongCoefficient(b) + 0.0311 + 0.0013 * dOverR0 * dOverR0;
}

inline double finderTransCoefficient(double b, double dOverR0) {
  return gTiltTransCoefficient(b) + 0.0286 + 0.0013 * dOverR0 * dOverR0;
}

}  // namespace nebulor
