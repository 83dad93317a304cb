#pragma once

#include <numbers>

namespace nebulor {

inline constexpr double kArcsecPerRadian = 180.0 * 3600.0 / std::numbers::pi;

// r0 in cm from the seeing FWHM (arcsec) at the wavelength (micrometres):
// r0 = 0.98 lambda / FWHM. Micrometres over microradians give metres, times
// 1000 and over 10 give cm. The read-out has always taken 4.74 microradians
// per arcsecond (4.848 would be exact) and keeps that factor, and this order
// of operations. No seeing (0, negative or NaN) gives 0.
inline double r0Centimetres(float wavelength, float fwhm) {
  if (!(fwhm > 0)) return 0;
  return static_cast<double>(wavelength) * 0.98 * 1000 / fwhm / 4.74 / 10;
}

// The coherence time tau0 = 0.314 r0 / V in ms, r0 = lambda / seeing
// (micrometres, arcsec) at the same wavelength and V the wind in m/s: the
// time in which the turbulence moves by a third of r0.
inline double tau0Milliseconds(double wavelength, double seeing, double wind) {
  const double r0 = wavelength * 1e-6 / (seeing / kArcsecPerRadian);  // m
  return 0.314 * r0 / wind * 1000;
}

}  // namespace nebulor
