#include "sky/SeeingModel.h"

#include <cmath>
#include <numbers>

#include "core/FriedParameter.h"
#include "stars/CentroidResponse.h"

namespace nebulor::sky {
namespace {

constexpr double kFwhmToSigma = 0.5 / 1.1774100225154747;  // 1 / (2 sqrt(2 ln 2))
constexpr double kDiffractionFwhm = 1.03;                  // in lambda / D

double classicalCoefficient(double diameter, double distance, double distanceTerm) {
  return 2.0 * (0.18 * std::pow(diameter, -1.0 / 3.0) - distanceTerm * std::pow(distance, -1.0 / 3.0));
}

}  // namespace

SeeingModel::SeeingModel(const SkySettings& settings)
    : wavelength_(settings.wavelength * 1e-6),
      holeDiameter_(settings.holeDiameter),
      classical_(settings.response == Response::classical),
      b_(settings.holeDistance / settings.holeDiameter),
      longK_(classicalCoefficient(settings.holeDiameter, settings.holeDistance, 0.097)),
      transK_(classicalCoefficient(settings.holeDiameter, settings.holeDistance, 0.145)),
      r0_(wavelength_ / (settings.seeing / kArcsecPerRadian)),
      pixelScale_(std::atan(settings.pixelSize / (settings.focalLength * 1000.0))),
      tipTiltArcsec_(settings.tipTilt) {}

double SeeingModel::longitudinalSigma(double airmass) const {
  return motionSigma(longK_, finderLongCoefficient, airmass);
}

double SeeingModel::transverseSigma(double airmass) const {
  return motionSigma(transK_, finderTransCoefficient, airmass);
}

double SeeingModel::motionSigma(double classical, double (*finder)(double, double), double airmass) const {
  const double dOverR0 = holeDiameter_ / r0_ * std::pow(airmass, 3.0 / 5.0);
  const double coefficient =
      classical_ ? classical : finder(b_, dOverR0) * std::pow(holeDiameter_, -1.0 / 3.0);
  return std::sqrt(coefficient * wavelength_ * wavelength_ * std::pow(r0_, -5.0 / 3.0) * airmass) /
         pixelScale_;
}

double SeeingModel::tipTiltSigma() const { return tipTiltArcsec_ / kArcsecPerRadian / pixelScale_; }

double SeeingModel::psfSigma() const {
  return kDiffractionFwhm * wavelength_ / holeDiameter_ / pixelScale_ * kFwhmToSigma;
}

double airmassAt(double altitudeDegrees) {
  return 1.0 / std::cos((90.0 - altitudeDegrees) * std::numbers::pi / 180.0);
}

}  // namespace nebulor::sky
