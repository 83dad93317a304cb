#include "measure/SeeingReduction.h"

#include <algorithm>
#include <cmath>

#include "core/NumberText.h"
#include "core/SeeingHistory.h"

namespace nebulor {

namespace {

constexpr double kDegreesToRadians = 0.0174532925;  // pi / 180 to ten decimals
constexpr double kArcsecPi = 3.1415926535;          // pi as the arcsecond conversion writes it

using Reason = std::optional<Failure>;

bool isPositive(double value) { return std::isfinite(value) && value > 0; }

Reason readingLengthProblem(std::int16_t n) {
  if (samplesPerReadingFits(n)) return std::nullopt;
  return Failure{"A reading of " + std::to_string(n) +
                 " exposures cannot be reduced; samples per reading must be 1 to " +
                 std::to_string(kMaxSamples) + "."};
}

Reason notPositive(const char* what, double value) {
  return Failure{std::string(what) + " is " + doubleText(value) + "; it must be above 0."};
}

// Everything the formulas divide by or raise to a fractional power.
Reason inputProblem(const Config& config, const ExposureGeometry& geometry) {
  if (auto problem = readingLengthProblem(config.samplesPerReading)) return problem;
  if (!isPositive(config.holeDiameter)) return notPositive("The hole diameter", config.holeDiameter);
  if (!isPositive(config.holeDistance)) return notPositive("The hole distance", config.holeDistance);
  if (!isPositive(config.wavelength)) return notPositive("The wavelength", config.wavelength);
  if (!isPositive(geometry.focalLength)) return notPositive("The focal length", geometry.focalLength);
  if (!isPositive(geometry.pixelSize)) return notPositive("The pixel size", geometry.pixelSize);
  if (!isPositive(geometry.airmass)) return notPositive("The airmass", geometry.airmass);
  if (!isPositive(longCoefficient(config.holeDiameter, config.holeDistance)) ||
      !isPositive(transCoefficient(config.holeDiameter, config.holeDistance))) {
    return Failure{
        "The hole distance is too small for the hole diameter (it must exceed about 0.52 times "
        "the diameter): the response coefficients are not positive."};
  }
  return std::nullopt;
}

bool sameSideOfYAxis(float a, float b) { return (a > 0 && b > 0) || (a < 0 && b < 0); }

// The separation vectors of the reading: the mean one and each exposure's.
struct Separation {
  float dx;
  float dy;
  float length;
};

Separation separation(float dx, float dy) {
  return {dx, dy, static_cast<float>(std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy))};
}

// Turn of an exposure's separation against the mean one, radians. The
// customary arctangent of dy/dx is kept where both vectors point to the same
// side of the y axis. Elsewhere it would mistake a pair near the vertical for
// one turned by half a circle (and dx = 0 would divide by zero), so the
// full-circle arctangent measures the turn there.
class AngleReference {
 public:
  explicit AngleReference(const Separation& reference)
      : reference_(reference),
        customary_(reference.dx != 0 ? std::atan(static_cast<double>(reference.dy) / reference.dx) : 0),
        fullCircle_(std::atan2(static_cast<double>(reference.dy), static_cast<double>(reference.dx))) {}

  double turnOf(const Separation& exposure) const {
    if (sameSideOfYAxis(exposure.dx, reference_.dx)) {
      return std::atan(static_cast<double>(exposure.dy) / exposure.dx) - customary_;
    }
    return std::atan2(static_cast<double>(exposure.dy), static_cast<double>(exposure.dx)) - fullCircle_;
  }

 private:
  Separation reference_;
  double customary_;
  double fullCircle_;
};

}  // namespace

double Sec(double X) { return 1 / std::cos(X); }

double CalcAirmass(double altitude) { return Sec((90 - altitude) * kDegreesToRadians); }

float meanPosition(const float* values, int n) {
  double sum = 0;
  for (int i = 1; i <= n; ++i) sum += values[i];
  return static_cast<float>(sum / n);
}

float ArrayRms(const float* values, std::int16_t n) {
  if (n < 1) return 0;
  double sum = 0;
  for (int i = 1; i <= n; ++i) sum += static_cast<double>(values[i]) * values[i];
  return static_cast<float>(std::sqrt(sum / n));
}

double TruncateDecimals(double x, std::int16_t n) {
  const double scale = std::pow(10.0, n);
  return std::floor(x * scale) / scale;
}

// Differential image motion response (Sarazin and Roddier): the variance of
// the motion of the two images is sigma^2 = K * lambda^2 * r0^(-5/3) * airmass
// with K = 2 * (0.18 * D^(-1/3) - c * B^(-1/3)), D the hole diameter and B the
// hole distance, c = 0.097 along the line joining the images, 0.145 across it.
double longCoefficient(float holeDiameter, float holeDistance) {
  return 2 * (0.18 * std::pow(holeDiameter, -1.0 / 3.0) - 0.097 * std::pow(holeDistance, -1.0 / 3.0));
}

double transCoefficient(float holeDiameter, float holeDistance) {
  return 2 * (0.18 * std::pow(holeDiameter, -1.0 / 3.0) - 0.145 * std::pow(holeDistance, -1.0 / 3.0));
}

double pixelScale(float pixelSize, float focalLength) {
  return std::atan(static_cast<double>(pixelSize) / (static_cast<double>(focalLength) * 1000));
}

// The relation above solved for lambda / r0 (radians, zenith), in arcseconds.
// lambda in mm, like the hole sizes.
double seeingArcsec(double sigma, double coefficient, double airmass, float wavelength) {
  const double lambda = static_cast<double>(wavelength) / 1000;
  const double radians =
      std::pow(lambda, -1.0 / 5.0) * std::pow(sigma * sigma / (coefficient * airmass), 3.0 / 5.0);
  return radians * 180 * 3600 / kArcsecPi;
}

// Each direction's variance comes from N deviations about the reading's own
// mean: for Gaussian motion N s^2 / sigma^2 is chi-square with N - 1 degrees
// of freedom, so s^2 scatters by sqrt(2 / (N - 1)) relative. The seeing goes
// as (s^2)^(3/5), which scatters 3/5 as much, and the reading is the mean of
// the longitudinal and transverse values, independent for Gaussian motion,
// which divides by sqrt(2):
//   error = seeing * (3/5) * sqrt(2 / (N - 1)) / sqrt(2) = 0.6 * seeing / sqrt(N - 1)
// (13.8% for N = 20; docs/validation.md compares it with the measured scatter).
std::optional<double> seeingError(double seeing, int exposures) {
  if (exposures < 2) return std::nullopt;
  return 0.6 * seeing / std::sqrt(exposures - 1.0);
}

bool StoreMeanPositions(MonitorState& state) {
  const std::int16_t n = state.config.samplesPerReading;
  if (readingLengthProblem(n)) return false;
  const float x1 = meanPosition(state.sampleX[1].data(), n);
  const float y1 = meanPosition(state.sampleY[1].data(), n);
  const float x2 = meanPosition(state.sampleX[2].data(), n);
  const float y2 = meanPosition(state.sampleY[2].data(), n);
  if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return false;
  state.starX[1] = x1;
  state.starY[1] = y1;
  state.starX[2] = x2;
  state.starY[2] = y2;
  return true;
}

std::optional<Failure> reduceMotion(const PositionSeries& series, const std::array<float, 3>& meanX,
                                    const std::array<float, 3>& meanY, const Config& config,
                                    const ExposureGeometry& geometry, ReducedMotion& reduced) {
  if (auto problem = inputProblem(config, geometry)) return problem;
  const int n = series.n;
  if (n < 1 || n > kMaxSeries) {
    return Failure{"A reading of " + std::to_string(n) + " exposures cannot be reduced."};
  }
  const Separation reference = separation(meanX[2] - meanX[1], meanY[2] - meanY[1]);
  if (!std::isfinite(reference.length)) return Failure{"The mean star positions are not finite numbers."};
  if (reference.length == 0) {
    return Failure{"The two star images have the same mean position, so the reading has no direction."};
  }
  const AngleReference angles(reference);

  std::vector<float> longDeviations(static_cast<std::size_t>(n) + 1);
  std::vector<float> transDeviations(static_cast<std::size_t>(n) + 1);
  for (int i = 1; i <= n; ++i) {
    const Separation exposure = separation(series.x[2][i] - series.x[1][i], series.y[2][i] - series.y[1][i]);
    if (!std::isfinite(exposure.length)) {
      return Failure{"The star positions of exposure " + std::to_string(i) + " are not finite numbers."};
    }
    const double turn = angles.turnOf(exposure);
    longDeviations[i] = static_cast<float>(reference.length - exposure.length * std::cos(turn));
    transDeviations[i] = static_cast<float>(exposure.length * std::sin(turn));
  }
  const double longStdDev = ArrayRms(longDeviations.data(), static_cast<std::int16_t>(n));
  const double transStdDev = ArrayRms(transDeviations.data(), static_cast<std::int16_t>(n));

  const double scale = pixelScale(geometry.pixelSize, geometry.focalLength);
  const double longSeeing =
      seeingArcsec(scale * longStdDev, longCoefficient(config.holeDiameter, config.holeDistance),
                   geometry.airmass, config.wavelength);
  const double transSeeing =
      seeingArcsec(scale * transStdDev, transCoefficient(config.holeDiameter, config.holeDistance),
                   geometry.airmass, config.wavelength);
  const float fwhm = static_cast<float>((longSeeing + transSeeing) / 2);
  if (!std::isfinite(fwhm) || !std::isfinite(longStdDev) || !std::isfinite(transStdDev)) {
    return Failure{"The seeing of this reading is not a finite number."};
  }
  reduced = {std::move(longDeviations), std::move(transDeviations), longStdDev, transStdDev, fwhm};
  return std::nullopt;
}

void enterReading(MonitorState& state, const ReducedMotion& reduced) {
  state.longStdDev = reduced.longStdDev;
  state.transStdDev = reduced.transStdDev;
  const int slot = historyWriteSlot(state.historyCount);
  state.fwhmHistory[slot] = reduced.fwhm;
  state.historyCount = static_cast<std::int16_t>(historySlotAfter(slot));
}

std::optional<Failure> ReduceReading(MonitorState& state, const ExposureGeometry& geometry) {
  const Config& config = state.config;
  if (auto problem = readingLengthProblem(config.samplesPerReading)) return problem;
  const std::int16_t n = config.samplesPerReading;

  // Worked on copies: the state changes only once the whole reading is sound.
  const PositionSeries series{{nullptr, state.sampleX[1].data(), state.sampleX[2].data()},
                              {nullptr, state.sampleY[1].data(), state.sampleY[2].data()},
                              n};
  ReducedMotion reduced;
  if (auto problem = reduceMotion(series, state.starX, state.starY, config, geometry, reduced))
    return problem;

  std::copy_n(reduced.longDeviations.begin() + 1, n, state.longDeviations.begin() + 1);
  std::copy_n(reduced.transDeviations.begin() + 1, n, state.transDeviations.begin() + 1);
  enterReading(state, reduced);
  return std::nullopt;
}

}  // namespace nebulor
