#pragma once

#include "sky/SkySettings.h"

namespace nebulor::sky {

// Image motion of the two-hole mask for the simulator's true seeing.
//
// Differential motion variance of the two images, in rad^2:
//   sigma^2 = K * lambda^2 * r0^(-5/3) * airmass
// along the line joining the images and across it. With response=finder, K
// is what the star finder's centroid shows on real images: the G-tilt
// coefficients plus the finder's own motion at D / r0 along the line of
// sight (stars/CentroidResponse.h), times D^(-1/3). With response=classical,
// the standard DIMM response (e.g. Sarazin & Roddier 1990, D, B and lambda
// in mm):
//   K_long  = 2 * (0.18 * D^(-1/3) - 0.097 * B^(-1/3))
//   K_trans = 2 * (0.18 * D^(-1/3) - 0.145 * B^(-1/3))
// The true seeing stated as lambda / r0 (zenith) gives r0.
class SeeingModel {
 public:
  explicit SeeingModel(const SkySettings& settings);

  double r0() const { return r0_; }                  // mm, at the zenith
  double pixelScale() const { return pixelScale_; }  // rad per pixel

  // RMS differential motion at the given airmass, pixels.
  double longitudinalSigma(double airmass) const;
  double transverseSigma(double airmass) const;

  // RMS of the motion common to both images, pixels per axis.
  double tipTiltSigma() const;

  // Gaussian sigma of each star image, pixels: the diffraction width of one
  // hole (FWHM 1.03 lambda / D), which dominates while D is below r0.
  double psfSigma() const;

 private:
  double motionSigma(double classical, double (*finder)(double, double), double airmass) const;

  double wavelength_;  // mm
  double holeDiameter_;
  bool classical_;
  double b_;
  double longK_;  // classical
  double transK_;
  double r0_;
  double pixelScale_;
  double tipTiltArcsec_;
};

// 1 / cos(zenith distance) for an altitude in degrees.
double airmassAt(double altitudeDegrees);

}  // namespace nebulor::sky
