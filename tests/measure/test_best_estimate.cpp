// Nebulor's best estimate: the G-tilt coefficients against the phase-screen
// simulator, and the estimator on readings of known statistics.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "measure/BestEstimate.h"
#include "sky/ScreenTurbulence.h"

namespace nebulor {
namespace {

constexpr double kArcsecPerRadian = 180.0 * 3600.0 / std::numbers::pi;

// The screen's differential G-tilt variances, in units of
// lambda^2 D^(-1/3) r0^(-5/3), are the coefficients themselves.
TEST(BestEstimate, GTiltCoefficientsMatchThePhaseScreen) {
  const double lambda = 500e-9, r0 = 0.1, diameter = 0.05;
  for (const double b : {3.0, 5.0}) {
    SCOPED_TRACE(b);
    sky::SkySettings settings;
    settings.turbulence = sky::Turbulence::screen;
    settings.outerScale = INFINITY;
    settings.wind = 0;
    settings.angle = 0;
    settings.holeDistance = b * 50;
    sky::ScreenTurbulence turbulence(settings, r0, 9);
    double along = 0, across = 0;
    const int exposures = 8000;
    for (int i = 0; i < exposures; ++i) {
      const auto tilts = turbulence.exposure(0.01);
      along += std::pow(tilts[1].x - tilts[0].x, 2);
      across += std::pow(tilts[1].y - tilts[0].y, 2);
    }
    const double unit = lambda * lambda * std::pow(diameter, -1.0 / 3.0) * std::pow(r0, -5.0 / 3.0);
    EXPECT_NEAR(along / exposures / unit / gTiltLongCoefficient(b), 1.0, 0.05);
    EXPECT_NEAR(across / exposures / unit / gTiltTransCoefficient(b), 1.0, 0.05);
  }
}

// Readings of 20 Gaussian deviations whose variance gives the true seeing
// through the star finder's response, plus centroid noise of the stated size: the
// estimate's mean is the truth and its stated error is its scatter.
TEST(BestEstimate, IsUnbiasedWithAndWithoutCentroidNoise) {
  const double truth = 1.2;  // arcsec
  for (const double centroidError : {0.0, 0.3}) {
    SCOPED_TRACE(centroidError);
    MonitorState state;
    state.config.samplesPerReading = 20;
    state.config.holeDiameter = 50;
    state.config.holeDistance = 150;
    state.config.wavelength = 0.5f;
    const ExposureGeometry geometry{1.5, 2000, 5.4f};
    const double scale = std::atan(5.4 / 2000e3);
    const double lambda = 0.5e-6, r0 = lambda / (truth / kArcsecPerRadian),
                 x = 0.05 / r0 * std::pow(1.5, 0.6);
    const auto sigma = [&](double k) {
      return std::sqrt(k * lambda * lambda * std::pow(0.05, -1.0 / 3.0) * std::pow(r0, -5.0 / 3.0) * 1.5) /
             scale;
    };
    const double noise = std::sqrt(2.0) * centroidError;  // difference of two centroids
    std::mt19937_64 random(5);
    std::normal_distribution<double> gauss;
    double sum = 0, squares = 0, errors = 0;
    const int readings = 4000;
    for (int r = 0; r < readings; ++r) {
      for (int i = 1; i <= 20; ++i) {
        state.longDeviations[i] =
            static_cast<float>(sigma(finderLongCoefficient(3, x)) * gauss(random) + noise * gauss(random));
        state.transDeviations[i] =
            static_cast<float>(sigma(finderTransCoefficient(3, x)) * gauss(random) + noise * gauss(random));
        state.sampleError[1][i] = state.sampleError[2][i] = static_cast<float>(centroidError);
      }
      const std::optional<SeeingEstimate> best = EstimateSeeing(state, geometry);
      ASSERT_TRUE(best);
      sum += best->seeing;
      squares += best->seeing * best->seeing;
      errors += best->error;
    }
    const double mean = sum / readings;
    const double scatter = std::sqrt(squares / readings - mean * mean);
    EXPECT_NEAR(mean / truth, 1.0, 0.01);
    EXPECT_NEAR(errors / readings / scatter, 1.0, 0.1);
  }
}

TEST(BestEstimate, PowerBiasIsTheChiSquareMeanOfTheThreeFifthsPower) {
  // By simulation rather than the formula: mean of (chi^2_nu / nu)^(3/5).
  std::mt19937_64 random(2);
  for (const int nu : {5, 19}) {
    std::chi_squared_distribution<double> chi2(nu);
    double sum = 0;
    const int draws = 200000;
    for (int i = 0; i < draws; ++i) sum += std::pow(chi2(random) / nu, 0.6);
    EXPECT_NEAR(powerBias(nu), sum / draws, 0.002);
  }
}

}  // namespace
}  // namespace nebulor
