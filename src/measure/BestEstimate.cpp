#include "measure/BestEstimate.h"

#include <cmath>
#include <numbers>

namespace nebulor {
namespace {

constexpr double kArcsecPerRadian = 180.0 * 3600.0 / std::numbers::pi;
constexpr int kResponseRounds = 4;

// Unbiased variance of deviations 1..n about their mean, pixels^2.
double sampleVariance(const MonitorState::PerExposure& deviations, int n) {
  double mean = 0;
  for (int i = 1; i <= n; ++i) mean += deviations[i];
  mean /= n;
  double sum = 0;
  for (int i = 1; i <= n; ++i) sum += (deviations[i] - mean) * (deviations[i] - mean);
  return sum / (n - 1);
}

// `coefficient` the finder's response of b = B / D and D / r0.
std::optional<DirectionEstimate> direction(double variance, double noise, int n,
                                           double (*coefficient)(double, double), double scale,
                                           const MonitorState& state, double airmass) {
  const double turbulence = variance - noise;
  const double b = static_cast<double>(state.config.holeDistance) / state.config.holeDiameter;
  if (!(turbulence > 0) || !(gTiltTransCoefficient(b) > 0)) return std::nullopt;
  // The noise widens the scatter of the estimate: fewer effective degrees of freedom.
  const double nu = (n - 1) * std::pow(turbulence / variance, 2);
  const double lambda = state.config.wavelength * 1e-6;  // m
  const double diameter = state.config.holeDiameter * 1e-3;
  double r0Term = 0;   // r0^(-5/3) at the zenith
  double dOverR0 = 1;  // along the line of sight
  for (int round = 0; round < kResponseRounds; ++round) {
    r0Term = turbulence * scale * scale /
             (coefficient(b, dOverR0) * lambda * lambda * std::pow(diameter, -1.0 / 3.0) * airmass);
    dOverR0 = diameter * std::pow(r0Term, 3.0 / 5.0) * std::pow(airmass, 3.0 / 5.0);
  }
  const double seeing = lambda * std::pow(r0Term, 3.0 / 5.0) * kArcsecPerRadian / powerBias(nu);
  return DirectionEstimate{seeing, seeing * 0.6 * std::sqrt(2.0 / nu), nu};
}

}  // namespace

double powerBias(double nu) {
  return std::exp(0.6 * std::log(2.0 / nu) + std::lgamma(nu / 2 + 0.6) - std::lgamma(nu / 2));
}

std::array<std::optional<DirectionEstimate>, 2> EstimateDirections(const MonitorState& state,
                                                                   const ExposureGeometry& geometry) {
  const int n = state.config.samplesPerReading;
  if (n < 2 || n > kMaxSamples) return {};
  // Each deviation is a difference of two centroids, each with its own
  // error per axis; the noise is the same along and across.
  double noise = 0;
  for (int i = 1; i <= n; ++i) {
    noise += std::pow(state.sampleError[1][i], 2) + std::pow(state.sampleError[2][i], 2);
  }
  noise /= n;
  const double scale = pixelScale(geometry.pixelSize, geometry.focalLength);
  return {direction(sampleVariance(state.longDeviations, n), noise, n, finderLongCoefficient, scale, state,
                    geometry.airmass),
          direction(sampleVariance(state.transDeviations, n), noise, n, finderTransCoefficient, scale, state,
                    geometry.airmass)};
}

std::optional<SeeingEstimate> CombineDirections(
    const std::array<std::optional<DirectionEstimate>, 2>& directions) {
  const auto& [along, across] = directions;
  if (!along && !across) return std::nullopt;
  if (!along || !across) {
    const DirectionEstimate& only = along ? *along : *across;
    return SeeingEstimate{only.seeing, only.error};
  }
  return SeeingEstimate{(along->seeing + across->seeing) / 2,
                        std::sqrt(along->error * along->error + across->error * across->error) / 2};
}

std::optional<SeeingEstimate> EstimateSeeing(const MonitorState& state, const ExposureGeometry& geometry) {
  return CombineDirections(EstimateDirections(state, geometry));
}

}  // namespace nebulor
