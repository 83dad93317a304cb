#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/Config.h"
#include "core/Failure.h"
#include "core/MonitorState.h"

namespace nebulor {

double Sec(double X);                                 // 1 / cos(X), X in radians
double CalcAirmass(double altitude);                  // altitude in degrees above the horizon
float ArrayRms(const float* values, std::int16_t n);  // RMS of values[1..n]; 0 when n < 1
double TruncateDecimals(double x, std::int16_t n);    // floor(x * 10^n) / 10^n

// Header values of the reading's last exposure.
struct ExposureGeometry {
  double airmass = 1;
  float focalLength = 0;  // mm
  float pixelSize = 0;    // micrometres
};

// Response of the differential motion to the turbulence, per direction, for
// the mask's hole diameter and distance in mm.
double longCoefficient(float holeDiameter, float holeDistance);
double transCoefficient(float holeDiameter, float holeDistance);

// Angle on the sky of one pixel, radians.
double pixelScale(float pixelSize, float focalLength);

// Seeing (wavelength over Fried parameter at the zenith) in arcseconds from
// the RMS differential motion sigma (radians) along one direction.
double seeingArcsec(double sigma, double coefficient, double airmass, float wavelength);

// Statistical 1-sigma error of one reading's seeing (arcsec) from the number
// of exposures it reduced; nothing for fewer than two.
std::optional<double> seeingError(double seeing, int exposures);

// Step 1 of the reduction: starX, starY become the mean positions of the
// reading's samples 1..samplesPerReading. False (and nothing changed) when
// samplesPerReading is outside 1..200 or a mean is not finite; ReduceReading
// then gives the reason.
bool StoreMeanPositions(MonitorState& state);

// Steps 2 to 8: deviations, their RMS, the seeing value and its history slot.
// Returns std::nullopt when the reading entered the history, otherwise the
// reason it could not be reduced; then the history and historyCount are
// untouched and nothing non-finite is stored.
std::optional<Failure> ReduceReading(MonitorState& state, const ExposureGeometry& geometry);

}  // namespace nebulor
