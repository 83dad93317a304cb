#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/Config.h"
#include "measure/BestEstimate.h"

namespace nebulor {
namespace {

// Readings of 6000 frames whose motion along and across follows one AR(1)
// law with neighbour correlation rho (frames closer than the wind's crossing
// time), the two directions correlated too: the best estimate's stated error
// agrees with the scatter of the readings (an error from the number of
// frames alone would be too small by sqrt((1 + rho) / (1 - rho)) and more).
TEST(CorrelatedError, TheStatedErrorOfASeriesFollowsItsScatterWhateverTheCorrelation) {
  constexpr int kFrames = 6000;
  constexpr int kReadings = 300;
  const Config config = defaultConfig();
  const ExposureGeometry geometry{1.0, 2000, 5.4};
  for (const double rho : {0.0, 0.8, 0.95}) {
    SCOPED_TRACE(rho);
    std::mt19937 random(7);
    std::normal_distribution<double> gauss;
    std::vector<float> along(kFrames + 1);
    std::vector<float> across(kFrames + 1);
    const std::vector<float> noise(kFrames + 1, 0.05f);
    std::vector<double> seeing;
    double statedSum = 0;
    for (int reading = 0; reading < kReadings; ++reading) {
      double a = gauss(random);
      double c = gauss(random);
      for (int i = 1; i <= kFrames; ++i) {
        a = rho * a + std::sqrt(1 - rho * rho) * gauss(random);
        c = rho * c + std::sqrt(1 - rho * rho) * gauss(random);
        along[i] = static_cast<float>(1.0 * a);
        across[i] = static_cast<float>(0.8 * (0.5 * a + std::sqrt(0.75) * c));
      }
      const MotionSeries series{along.data(), across.data(), {nullptr, noise.data(), noise.data()}, kFrames};
      const std::optional<SeeingEstimate> estimate = EstimateSeeingOfSeries(series, config, geometry);
      ASSERT_TRUE(estimate.has_value());
      seeing.push_back(estimate->seeing);
      statedSum += estimate->error;
    }
    double mean = 0;
    for (const double s : seeing) mean += s / kReadings;
    double squares = 0;
    for (const double s : seeing) squares += (s - mean) * (s - mean);
    const double scatter = std::sqrt(squares / (kReadings - 1));
    EXPECT_NEAR(statedSum / kReadings / scatter, 1.0, 0.1);
  }
}

}  // namespace
}  // namespace nebulor
