#include "measure/ExposureExtrapolation.h"

#include <cmath>
#include <limits>

namespace nebulor {
namespace {

constexpr double kSeeingPower = 0.6;  // seeing ~ variance^(3/5)

// Mean and second moment of (chi^2_nu / nu)^power, both over the first's square.
struct PowerMoments {
  double mean = 0;
  double spread = 0;  // E[X^2] / E[X]^2
};

PowerMoments powerMoments(double nu, double power) {
  const double mean = chiSquareMoment(nu, power);
  return {mean, chiSquareMoment(nu, 2 * power) / (mean * mean)};
}

std::optional<DirectionEstimate> extrapolated(const std::optional<DirectionEstimate>& single,
                                              const std::optional<DirectionEstimate>& twice) {
  if (!single || !twice) return std::nullopt;
  const double n = kExtrapolationWeight;
  const PowerMoments atSingle = powerMoments(single->nu, kSeeingPower * n);
  const PowerMoments atTwice = powerMoments(twice->nu, kSeeingPower * (1 - n));
  if (!std::isfinite(atSingle.spread) || !std::isfinite(atTwice.spread)) return std::nullopt;
  // Back to the plain 3/5 powers of the variances, then the product unbiased.
  const double rawSingle = single->seeing * chiSquareMoment(single->nu, kSeeingPower);
  const double rawTwice = twice->seeing * chiSquareMoment(twice->nu, kSeeingPower);
  const double seeing = std::pow(rawSingle, n) * std::pow(rawTwice, 1 - n) / (atSingle.mean * atTwice.mean);
  const double relative = std::sqrt(atSingle.spread * atTwice.spread - 1);
  if (!std::isfinite(seeing) || !(seeing > 0)) return std::nullopt;
  return DirectionEstimate{seeing, seeing * relative, single->nu};
}

}  // namespace

double chiSquareMoment(double nu, double p) {
  if (!(nu / 2 + p > 0)) return std::numeric_limits<double>::infinity();
  return std::exp(p * std::log(2.0 / nu) + std::lgamma(nu / 2 + p) - std::lgamma(nu / 2));
}

std::optional<SeeingEstimate> ExtrapolateToZeroExposure(
    const std::array<std::optional<DirectionEstimate>, 2>& single,
    const std::array<std::optional<DirectionEstimate>, 2>& twice) {
  return CombineDirections({extrapolated(single[0], twice[0]), extrapolated(single[1], twice[1])});
}

}  // namespace nebulor
