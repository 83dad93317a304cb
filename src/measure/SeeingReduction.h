#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// A reading's star positions as the reduction reads them: exposures 1..n of
// stars 1 and 2 (index 0 unused), from the exposure tables or from the
// longer series of fast acquisition.
struct PositionSeries {
  std::array<const float*, 3> x{};
  std::array<const float*, 3> y{};
  int n = 0;
};

// The reduction's steps 2 to 8 on any series of at most kMaxSeries
// exposures: its deviations (1..n), their RMS and the seeing value.
inline constexpr int kMaxSeries = 30000;
struct ReducedMotion {
  std::vector<float> longDeviations;
  std::vector<float> transDeviations;
  double longStdDev = 0;
  double transStdDev = 0;
  float fwhm = 0;
};

// The mean position of a star over the series, as step 1 takes it.
float meanPosition(const float* values, int n);

// Steps 2 to 8 about the mean positions meanX, meanY (stars 1 and 2), the
// reading's n checked by the caller. The reason when it cannot be reduced.
std::optional<Failure> reduceMotion(const PositionSeries& series, const std::array<float, 3>& meanX,
                                    const std::array<float, 3>& meanY, const Config& config,
                                    const ExposureGeometry& geometry, ReducedMotion& reduced);

// Steps 7 and 8 for a reduced series: its deviations' RMS and its seeing
// into the state and the next history slot.
void enterReading(MonitorState& state, const ReducedMotion& reduced);

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
