// The extrapolation to zero exposure time on readings of known statistics.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "measure/ExposureExtrapolation.h"

namespace nebulor {
namespace {

// Readings of 20 Gaussian deviations whose variances at t and 2t fall from
// the truth as the extrapolation assumes, plus centroid noise: the mean of
// the extrapolated estimate is the truth and its stated error its scatter.
TEST(ExposureExtrapolation, RecoversTheTruthWithItsStatedScatter) {
  const struct {
    double fallAtT;  // ln of the variance's share kept at t
    double centroidError;
  } cases[] = {{0, 0}, {-0.3, 0}, {-0.6, 0}, {-0.6, 0.15}};
  const double truth = 1.2, lambda = 0.5e-6, scale = std::atan(5.4 / 2000e3);
  const double r0 = lambda / (truth / (180.0 * 3600.0 / std::numbers::pi));
  const double unit = lambda * lambda * std::pow(0.05, -1.0 / 3.0) * std::pow(r0, -5.0 / 3.0);
  const double coefficients[] = {finderLongCoefficient(3, 0.05 / r0), finderTransCoefficient(3, 0.05 / r0)};
  for (const auto& c : cases) {
    const double n = kExtrapolationWeight,
                 shares[] = {std::exp(c.fallAtT), std::exp(c.fallAtT * n / (n - 1))};
    MonitorState states[2];
    for (MonitorState& state : states) state.config = defaultConfig();  // 20 exposures, b = 3, 500 nm
    std::mt19937_64 random(3);
    std::normal_distribution<double> gauss;
    double sum = 0, squares = 0, errors = 0;
    const int readings = 4000;
    for (int r = 0; r < readings; ++r) {
      for (int length = 0; length < 2; ++length) {
        const auto sigma = [&](int d) { return std::sqrt(coefficients[d] * unit * shares[length]) / scale; };
        for (int i = 1; i <= 20; ++i) {
          const double noise = std::sqrt(2.0) * c.centroidError;
          states[length].longDeviations[i] =
              static_cast<float>(sigma(0) * gauss(random) + noise * gauss(random));
          states[length].transDeviations[i] =
              static_cast<float>(sigma(1) * gauss(random) + noise * gauss(random));
          states[length].sampleError[1][i] = states[length].sampleError[2][i] =
              static_cast<float>(c.centroidError);
        }
      }
      const ExposureGeometry geometry{1, 2000, 5.4f};
      const auto best = ExtrapolateToZeroExposure(EstimateDirections(states[0], geometry),
                                                  EstimateDirections(states[1], geometry));
      ASSERT_TRUE(best);
      sum += best->seeing;
      squares += best->seeing * best->seeing;
      errors += best->error;
    }
    const double mean = sum / readings;
    EXPECT_NEAR(mean / truth, 1.0, 0.015) << c.fallAtT;
    EXPECT_NEAR(errors / readings / std::sqrt(squares / readings - mean * mean), 1.0, 0.1) << c.fallAtT;
  }
}

}  // namespace
}  // namespace nebulor
