#include "measure/BestEstimate.h"

#include <cmath>
#include <vector>

#include "core/FriedParameter.h"
#include "measure/CorrelatedError.h"

namespace nebulor {
namespace {

constexpr int kResponseRounds = 4;

double meanOf(const float* values, int n) {
  double mean = 0;
  for (int i = 1; i <= n; ++i) mean += values[i];
  return mean / n;
}

// Unbiased variance of deviations 1..n about their mean, pixels^2.
double sampleVariance(const float* deviations, int n) {
  const double mean = meanOf(deviations, n);
  double sum = 0;
  for (int i = 1; i <= n; ++i) sum += (deviations[i] - mean) * (deviations[i] - mean);
  return sum / (n - 1);
}

}  // namespace

double centroidNoise(const MotionSeries& series, int i) {
  return std::pow(series.centroidError[1][i], 2) + std::pow(series.centroidError[2][i], 2);
}

std::optional<DirectionEstimate> EstimateDirection(MotionAxis axis, double variance, double noise, int n,
                                                   const Config& config, const ExposureGeometry& geometry) {
  // The finder's response of b = B / D and D / r0.
  double (*coefficient)(double, double) =
      axis == MotionAxis::along ? finderLongCoefficient : finderTransCoefficient;
  const double scale = pixelScale(geometry.pixelSize, geometry.focalLength);
  const double airmass = geometry.airmass;
  const double turbulence = variance - noise;
  const double b = static_cast<double>(config.holeDistance) / config.holeDiameter;
  if (!(turbulence > 0) || !(gTiltTransCoefficient(b) > 0)) return std::nullopt;
  // The noise widens the scatter of the estimate: fewer effective degrees of freedom.
  const double nu = (n - 1) * std::pow(turbulence / variance, 2);
  const double lambda = config.wavelength * 1e-6;  // m
  const double diameter = config.holeDiameter * 1e-3;
  double r0Term = 0;   // r0^(-5/3) at the zenith
  double dOverR0 = 1;  // along the line of sight
  for (int round = 0; round < kResponseRounds; ++round) {
    r0Term = turbulence * scale * scale /
             (coefficient(b, dOverR0) * lambda * lambda * std::pow(diameter, -1.0 / 3.0) * airmass);
    dOverR0 = diameter * std::pow(r0Term, 3.0 / 5.0) * std::pow(airmass, 3.0 / 5.0);
  }
  const double seeing = lambda * std::pow(r0Term, 3.0 / 5.0) * kArcsecPerRadian / powerBias(nu);
  return DirectionEstimate{seeing, seeing * 0.6 * std::sqrt(2.0 / nu), nu, turbulence};
}

double powerBias(double nu) {
  return std::exp(0.6 * std::log(2.0 / nu) + std::lgamma(nu / 2 + 0.6) - std::lgamma(nu / 2));
}

std::array<std::optional<DirectionEstimate>, 2> EstimateDirections(const MonitorState& state,
                                                                   const ExposureGeometry& geometry) {
  const int n = state.config.samplesPerReading;
  if (n > kMaxSamples) return {};
  const MotionSeries series{state.longDeviations.data(),
                            state.transDeviations.data(),
                            {nullptr, state.sampleError[1].data(), state.sampleError[2].data()},
                            n};
  return EstimateDirections(series, state.config, geometry);
}

std::array<std::optional<DirectionEstimate>, 2> EstimateDirections(const MotionSeries& series,
                                                                   const Config& config,
                                                                   const ExposureGeometry& geometry) {
  const int n = series.n;
  if (n < 2) return {};
  double noise = 0;
  for (int i = 1; i <= n; ++i) noise += centroidNoise(series, i);
  noise /= n;
  return {EstimateDirection(MotionAxis::along, sampleVariance(series.longDeviations, n), noise, n, config,
                            geometry),
          EstimateDirection(MotionAxis::across, sampleVariance(series.transDeviations, n), noise, n, config,
                            geometry)};
}

std::optional<SeeingEstimate> EstimateSeeingOfSeries(const MotionSeries& series, const Config& config,
                                                     const ExposureGeometry& geometry) {
  const auto directions = EstimateDirections(series, config, geometry);
  std::optional<SeeingEstimate> estimate = CombineDirections(directions);
  if (!estimate) return std::nullopt;
  // To first order the seeing moves by 3/5 of each direction's turbulent
  // variance's relative change, and the two directions are averaged.
  const int n = series.n;
  const int used = (directions[0] ? 1 : 0) + (directions[1] ? 1 : 0);
  const float* deviations[2] = {series.longDeviations, series.transDeviations};
  double weight[2] = {};
  double mean[2] = {};
  for (int d = 0; d < 2; ++d) {
    if (!directions[d]) continue;
    mean[d] = meanOf(deviations[d], n);
    weight[d] = 0.6 * directions[d]->seeing / directions[d]->turbulence / used;
  }
  std::vector<double> shares(static_cast<std::size_t>(n));
  const double unbiased = static_cast<double>(n) / (n - 1);
  for (int i = 1; i <= n; ++i) {
    double share = 0;
    for (int d = 0; d < 2; ++d) {
      const double deviation = deviations[d][i] - mean[d];
      share += weight[d] * (deviation * deviation * unbiased - centroidNoise(series, i));
    }
    shares[static_cast<std::size_t>(i - 1)] = share;
  }
  if (const std::optional<double> error = batchMeansError(shares)) estimate->error = *error;
  return estimate;
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
