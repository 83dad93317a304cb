// The simulator's image motion against the seeing it claims: measured over
// a few thousand exposures with the star finder, the differential motion
// must have the variances that turbulence of the configured r0 gives.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "camera/sim/SimServer.h"

namespace nebulor::camera::sim {
namespace {

constexpr int kExposures = 3000;
constexpr double kArcsecPerRadian = 180.0 * 3600.0 / std::numbers::pi;

// Response coefficients for 50 mm holes 150 mm apart, as published for
// the reduction (not computed by the code under test).
constexpr double kLongCoefficient = 0.0612068;
constexpr double kTransCoefficient = 0.0431389;

struct Motion {
  double longVariance = 0;  // pixels^2
  double transVariance = 0;
  double commonVariance = 0;  // of star 1's x position: tip-tilt and drift
};

// Sample variances of the separation vector along and across its mean
// direction, from centroids measured on the simulated images.
Motion measure(const std::string& options) {
  SimServer server(parseSimSettings(options));
  auto camera = server.createCamera();
  camera->setLinkEnabled(true);
  const SimSettings& s = server.settings();
  const double a = s.angle * std::numbers::pi / 180.0;
  const double cx = (s.width - 1) / 2.0, cy = (s.height - 1) / 2.0;
  const int startX = static_cast<int>(cx) - 60, startY = static_cast<int>(cy) - 45;
  camera->setStartX(static_cast<std::int16_t>(startX));
  camera->setNumX(120);
  camera->setStartY(static_cast<std::int16_t>(startY));
  camera->setNumY(90);
  const double half = s.separation / 2.0;
  const double x1 = cx - half * std::cos(a) - startX, y1 = cy - half * std::sin(a) - startY;
  const double x2 = cx + half * std::cos(a) - startX, y2 = cy + half * std::sin(a) - startY;

  std::vector<double> dx, dy, star1x;
  for (int i = 0; i < kExposures; ++i) {
    camera->expose(0.01f);
    EXPECT_TRUE(camera->imageReady());
    const auto doc = camera->document();
    const stars::Centroid c1 =
        doc->centroidNear(static_cast<std::int16_t>(std::nearbyint(x1)),
                          static_cast<std::int16_t>(std::nearbyint(y1)), PassBy::value);
    const stars::Centroid c2 =
        doc->centroidNear(static_cast<std::int16_t>(std::nearbyint(x2)),
                          static_cast<std::int16_t>(std::nearbyint(y2)), PassBy::value);
    EXPECT_GE(c1.score, stars::kCleanDetection);
    EXPECT_GE(c2.score, stars::kCleanDetection);
    dx.push_back(c2.x - c1.x);
    dy.push_back(c2.y - c1.y);
    star1x.push_back(c1.x);
  }
  const auto mean = [](const std::vector<double>& v) {
    double sum = 0;
    for (double x : v) sum += x;
    return sum / static_cast<double>(v.size());
  };
  const double mx = mean(dx), my = mean(dy), m1 = mean(star1x);
  const double length = std::hypot(mx, my);
  const double ux = mx / length, uy = my / length;
  Motion motion;
  for (std::size_t i = 0; i < dx.size(); ++i) {
    const double along = (dx[i] - mx) * ux + (dy[i] - my) * uy;
    const double across = -(dx[i] - mx) * uy + (dy[i] - my) * ux;
    motion.longVariance += along * along;
    motion.transVariance += across * across;
    motion.commonVariance += (star1x[i] - m1) * (star1x[i] - m1);
  }
  const double n = static_cast<double>(dx.size() - 1);
  motion.longVariance /= n;
  motion.transVariance /= n;
  motion.commonVariance /= n;
  return motion;
}

// Differential variance in pixels^2 from sigma^2 = K lambda^2 r0^(-5/3) X,
// with r0 from the stated seeing lambda / r0.
double expectedVariance(double coefficient, double seeingArcsec, double wavelengthNm, double airmass,
                        double focalLengthMm, double pixelSizeUm) {
  const double lambda = wavelengthNm * 1e-6;  // mm
  const double r0 = lambda / (seeingArcsec / kArcsecPerRadian);
  const double radians2 = coefficient * lambda * lambda * std::pow(r0, -5.0 / 3.0) * airmass;
  const double pixelScale = std::atan(pixelSizeUm / (focalLengthMm * 1000.0));
  return radians2 / (pixelScale * pixelScale);
}

// A sample variance of n Gaussian values scatters by sqrt(2 / n) of itself;
// allow four times that.
const double kTolerance = 4.0 * std::sqrt(2.0 / kExposures);

struct Night {
  const char* options;
  double seeing;
  double airmass;  // of the constant altitude
};

class DifferentialMotion : public ::testing::TestWithParam<Night> {};

TEST_P(DifferentialMotion, VariancesMatchTheTrueSeeingInBothDirections) {
  const Night night = GetParam();
  const Motion m = measure(night.options);
  const double longExpected = expectedVariance(kLongCoefficient, night.seeing, 500, night.airmass, 2000, 5.4);
  const double transExpected =
      expectedVariance(kTransCoefficient, night.seeing, 500, night.airmass, 2000, 5.4);
  EXPECT_NEAR(m.longVariance / longExpected, 1.0, kTolerance) << m.longVariance << " vs " << longExpected;
  EXPECT_NEAR(m.transVariance / transExpected, 1.0, kTolerance) << m.transVariance << " vs " << transExpected;

  // Inverting the relation as the reduction does gives the seeing back.
  const double pixelScale = std::atan(5.4 / 2000000.0);
  const double lambda = 500e-6;
  const double longSeeing =
      std::pow(lambda, -1.0 / 5.0) *
      std::pow(m.longVariance * pixelScale * pixelScale / (kLongCoefficient * night.airmass), 3.0 / 5.0) *
      kArcsecPerRadian;
  EXPECT_NEAR(longSeeing / night.seeing, 1.0, 0.6 * kTolerance);
}

// Altitude 60 degrees: airmass 1.1547005380; 30 degrees: 1.9999999959.
INSTANTIATE_TEST_SUITE_P(
    Nights, DifferentialMotion,
    ::testing::Values(Night{"response=classical,altrate=0,altitude=90,seed=3", 1.2, 1.0},
                      Night{"response=classical,altrate=0,altitude=60,seed=4,seeing=0.8", 0.8, 1.1547005380},
                      Night{"response=classical,altrate=0,altitude=30,seed=5,seeing=2", 2.0, 1.9999999959}));

TEST(SimStatistics, CommonMotionLeavesTheDifferenceAlone) {
  // Strong tip-tilt moves both images a lot; their difference keeps the
  // variances of the seeing alone.
  const Motion m = measure("response=classical,altrate=0,altitude=90,seed=8,tiptilt=1.5");
  const double longExpected = expectedVariance(kLongCoefficient, 1.2, 500, 1.0, 2000, 5.4);
  EXPECT_NEAR(m.longVariance / longExpected, 1.0, kTolerance);
  EXPECT_GT(m.commonVariance, 4.0 * longExpected);
}

}  // namespace
}  // namespace nebulor::camera::sim
