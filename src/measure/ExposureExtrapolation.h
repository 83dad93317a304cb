#pragma once

#include <array>
#include <optional>

#include "measure/BestEstimate.h"

namespace nebulor {

// Weight n of the extrapolation to zero exposure time (Tokovinin 2002, PASP
// 114, 1156): the exponential fall, which the star finder's centroid follows
// on images formed by the optics (docs/validation.md; the G-tilt alone
// would fit the 1.75 of the MASS-DIMM site surveys).
inline constexpr double kExtrapolationWeight = 2.0;

// E[(chi^2_nu / nu)^p] = (2 / nu)^p Gamma(nu / 2 + p) / Gamma(nu / 2);
// infinite unless nu / 2 + p > 0.
double chiSquareMoment(double nu, double p);

// The best estimate extrapolated to zero exposure time from the directions
// of one reading's exposures of t (`single`) and of 2t (`twice`).
//
// Wind carries the turbulence across the holes during an exposure, and the
// motion it averages away grows with the exposure time T. Taking the
// variance to fall as sigma^2(T) = sigma^2(0) exp(-c T^p), two exposure
// times give
//   ln sigma^2(0) = n ln sigma^2(t) - (n - 1) ln sigma^2(2t),  n = 1 + 1 / (2^p - 1),
// and since the seeing goes as a power of the variance, the same weights
// hold for each direction's seeing: s0 = s_t^n s_2t^(1 - n). n = 2 is the
// exponential decrease (p = 1); n = 1.75 (p = 1.2) would follow the G-tilt's
// fall between 0.5 and 2 hole diameters of wind path, but the finder's own
// motion, a structure of the hole's size, falls faster (docs/validation.md).
//
// Each direction's estimate at either length is its truth times
// (chi^2_nu / nu)^0.6 / E[(chi^2_nu / nu)^0.6], so the product above is
// biased by E[(chi^2/nu)^(0.6 n)] E[(chi^2/nu)^(0.6 (1 - n))] (over the
// same for 0.6), which is divided out; its 1-sigma error follows from the
// second moments of the same laws. A direction counts when both lengths
// gave it with enough degrees of freedom for those moments; the two
// directions are averaged as in EstimateSeeing. Nothing when neither counts.
std::optional<SeeingEstimate> ExtrapolateToZeroExposure(
    const std::array<std::optional<DirectionEstimate>, 2>& single,
    const std::array<std::optional<DirectionEstimate>, 2>& twice);

}  // namespace nebulor
