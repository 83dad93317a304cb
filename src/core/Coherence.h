#pragma once

#include <optional>

namespace nebulor {

// How fast the turbulence crosses the mask, as one reading's own motion
// measures it, and the coherence time that follows: tau0 = 0.314 r0 / V.
struct Coherence {
  double wind = 0;       // m/s, V: the turbulence-weighted wind speed
  double windError = 0;  // m/s, 1 sigma
  // ms, at the zenith and the configured wavelength; none while the wind
  // cannot be told from calm air (tau0 would be unbounded).
  std::optional<double> tau0;
  double tau0Error = 0;  // ms, 1 sigma
};

}  // namespace nebulor
