#pragma once

namespace nebulor {

// r0 in cm from the seeing FWHM (arcsec) at the wavelength (micrometres):
// r0 = 0.98 lambda / FWHM. Micrometres over microradians give metres, times
// 1000 and over 10 give cm. The read-out has always taken 4.74 microradians
// per arcsecond (4.848 would be exact) and keeps that factor, and this order
// of operations. No seeing (0, negative or NaN) gives 0.
inline double r0Centimetres(float wavelength, float fwhm) {
  if (!(fwhm > 0)) return 0;
  return static_cast<double>(wavelength) * 0.98 * 1000 / fwhm / 4.74 / 10;
}

}  // namespace nebulor
