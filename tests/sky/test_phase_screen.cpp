// The phase-screen simulator against turbulence theory. Theory here is
// numerical quadrature of the Von Karman spectrum, written independently of
// the FFT generator: sigma^2 = integral of |H(f)|^2 W(f) over the plane.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "sky/LayeredTurbulence.h"
#include "sky/PhaseScreen.h"
#include "sky/ScreenTurbulence.h"

namespace nebulor::sky {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kWavelength = 500e-9;
constexpr double kR0 = 0.1;
constexpr double kHole = 0.05;
constexpr double kBaseline = 0.15;

double spectrum(double f, double outerScale) {
  const double l0 = std::isinf(outerScale) ? 0.0 : 1.0 / (outerScale * outerScale);
  return 0.0229 * std::pow(kR0, -5.0 / 3.0) * std::pow(f * f + l0, -11.0 / 6.0);
}

double airy(double f) {
  const double x = kPi * kHole * f;
  return x < 1e-9 ? 1.0 : 2.0 * std::cyl_bessel_j(1.0, x) / x;
}

double sinc(double x) { return std::abs(x) < 1e-12 ? 1.0 : std::sin(kPi * x) / (kPi * x); }

struct Motion {
  double baseline = 0;       // m along x; 0: one hole alone
  bool across = false;       // the y component instead of x
  double path = 0;           // m the screen moves during the exposure
  double pathDirection = 0;  // radians from x
  double outerScale = INFINITY;
};

// Variance of one G-tilt component (one hole) or of the difference of two
// holes' G-tilts, rad^2, exposure-averaged over a straight path.
double theory(const Motion& m) {
  const int radial = 4000, angular = 360;
  const double lo = std::log(1e-9), hi = std::log(200.0 / kHole);
  double sum = 0;
  for (int i = 0; i < radial; ++i) {
    const double f = std::exp(lo + (hi - lo) * (i + 0.5) / radial);
    const double common =
        std::pow(kWavelength * f * airy(f), 2) * spectrum(f, m.outerScale) * f * f;  // f df = f^2 du
    double ring = 0;
    for (int j = 0; j < angular; ++j) {
      const double t = 2 * kPi * (j + 0.5) / angular;
      const double fx = f * std::cos(t), fy = f * std::sin(t);
      const double component = m.across ? fy * fy / (f * f) : fx * fx / (f * f);
      const double difference = m.baseline > 0 ? 2 * (1 - std::cos(2 * kPi * fx * m.baseline)) : 1.0;
      const double along = m.path * (fx * std::cos(m.pathDirection) + fy * std::sin(m.pathDirection));
      ring += component * difference * std::pow(sinc(along), 2);
    }
    sum += common * ring * (2 * kPi / angular);
  }
  return sum * (hi - lo) / radial;
}

// Tokovinin 2002: one-axis G-tilt variance of one hole, pure Kolmogorov.
const double kOneHoleTilt =
    0.170 * kWavelength * kWavelength * std::pow(kHole, -1.0 / 3.0) * std::pow(kR0, -5.0 / 3.0);

TEST(PhaseScreenTheory, QuadratureGivesTheKnownOneHoleTilt) {
  EXPECT_NEAR(theory({}) / kOneHoleTilt, 1.0, 0.01);
}

TEST(PhaseScreen, StructureFunctionIsKolmogorovFromOneCentimetreToOneMetre) {
  // Two grids: fine for the short lags, wide for the long ones.
  struct Case {
    double spacing;
    std::vector<int> lags;
  };
  for (const Case& c : {Case{0.002, {5, 15, 50}}, Case{0.01, {10, 30, 100}}}) {
    PhaseScreen screen({kR0, INFINITY}, {512, c.spacing},
                       {[](double, double) { return std::complex<double>(1); }}, 7);
    std::vector<double> sum(c.lags.size());
    long pairs = 0;
    for (int draw = 0; draw < 20; ++draw) {
      screen.draw();
      for (int y = 0; y < 512; y += 8) {
        for (int x = 0; x + 100 < 512; x += 4) {
          for (std::size_t l = 0; l < c.lags.size(); ++l) {
            const int lag = c.lags[l];
            const std::complex<double> along = screen.at(0, x + lag, y) - screen.at(0, x, y);
            const std::complex<double> down = screen.at(0, y, x + lag) - screen.at(0, y, x);
            sum[l] += std::norm(along) + std::norm(down);  // both screens, both directions
          }
          ++pairs;
        }
      }
    }
    for (std::size_t l = 0; l < c.lags.size(); ++l) {
      const double r = c.lags[l] * c.spacing;
      SCOPED_TRACE(r);
      EXPECT_NEAR(sum[l] / (4.0 * pairs) / (6.88 * std::pow(r / kR0, 5.0 / 3.0)), 1.0, 0.05);
    }
  }
}

TEST(PhaseScreen, OneHoleGTiltVarianceIsTokovinins) {
  PhaseScreen screen({kR0, INFINITY}, {512, kHole / 16}, gTiltFilters(kWavelength, kHole), 11);
  double sum = 0;
  long count = 0;
  for (int draw = 0; draw < 30; ++draw) {
    screen.draw();
    for (int y = 0; y < 512; y += 16) {
      for (int x = 0; x < 512; x += 16) {
        for (std::size_t axis = 0; axis < 2; ++axis) sum += std::norm(screen.at(axis, x, y));
        count += 4;
      }
    }
  }
  EXPECT_NEAR(sum / count / kOneHoleTilt, 1.0, 0.05);
}

// Differential motion of the default mask (holes 50 mm, 150 mm apart, the
// line joining them 20 degrees from x) with the default 20 m outer scale.
TEST(ScreenTurbulence, DifferentialMotionAndItsExposureAveragingFollowTheory) {
  struct Case {
    double wind;       // m/s, for 10 ms exposures
    double direction;  // degrees from the line joining the holes
  };
  const double angle = 20.0 * kPi / 180.0;
  const double seeing = kWavelength / kR0 * 180 * 3600 / kPi;
  double stillLong = 0, stillTrans = 0;
  for (const Case c : {Case{0, 0}, Case{20, 0}, Case{20, 90}}) {
    SCOPED_TRACE(testing::Message() << "wind " << c.wind << " at " << c.direction);
    SkySettings settings;
    settings.turbulence = Turbulence::screen;
    settings.seeing = seeing;
    settings.wind = c.wind;
    settings.windDirection = 20 + c.direction;
    ScreenTurbulence turbulence(settings, kR0, 5);
    double longSum = 0, transSum = 0;
    const int exposures = 12000;
    for (int i = 0; i < exposures; ++i) {
      const auto tilts = turbulence.exposure(0.01);
      const double dx = tilts[1].x - tilts[0].x, dy = tilts[1].y - tilts[0].y;
      longSum += std::pow(dx * std::cos(angle) + dy * std::sin(angle), 2);
      transSum += std::pow(-dx * std::sin(angle) + dy * std::cos(angle), 2);
    }
    const double path = c.wind * 0.01, direction = c.direction * kPi / 180;
    const double longTheory = theory({kBaseline, false, path, direction, 20});
    const double transTheory = theory({kBaseline, true, path, direction, 20});
    // A screen holds a few hundred independent mask positions, so these
    // 12000 exposures scatter by about 4% (seed to seed); the ratio less.
    EXPECT_NEAR(longSum / exposures / longTheory, 1.0, 0.08);
    EXPECT_NEAR(transSum / exposures / transTheory, 1.0, 0.08);
    EXPECT_NEAR((longSum / transSum) / (longTheory / transTheory), 1.0, 0.04);
    if (c.wind == 0) {
      stillLong = longSum;
      stillTrans = transSum;
    } else {
      // Averaging only lowers the variance, and most along the wind's direction.
      EXPECT_LT(longSum, stillLong);
      EXPECT_LT(transSum, stillTrans);
    }
  }
}

// Layers of 0.6 and 0.4 of r0^(-5/3), blowing along and across the holes' line: each layer's variance
// (at its own path, times its weight) summed; with no exposure time, the one-layer sky's of the same r0.
TEST(LayeredTurbulence, DifferentialMotionIsTheLayersSummed) {
  const double angle = 20.0 * kPi / 180.0;
  for (const double seconds : {0.0, 0.01}) {
    SCOPED_TRACE(testing::Message() << seconds << " s");
    const SkySettings settings{.turbulence = Turbulence::screen, .layers = {{3, 5, 20}, {2, 25, 110}}};
    LayeredTurbulence turbulence(settings, kR0, 5);
    double longSum = 0, transSum = 0, longTheory = 0, transTheory = 0;
    const int exposures = 12000;
    for (int i = 0; i < exposures; ++i) {
      const auto tilts = turbulence.exposure(seconds);
      const double dx = tilts[1].x - tilts[0].x, dy = tilts[1].y - tilts[0].y;
      longSum += std::pow(dx * std::cos(angle) + dy * std::sin(angle), 2);
      transSum += std::pow(-dx * std::sin(angle) + dy * std::cos(angle), 2);
    }
    for (const WindLayer& layer : settings.layers) {
      const double path = layer.speed * seconds, direction = (layer.direction - 20) * kPi / 180;
      longTheory += layer.weight / 5 * theory({kBaseline, false, path, direction, 20});
      transTheory += layer.weight / 5 * theory({kBaseline, true, path, direction, 20});
    }
    EXPECT_NEAR(longSum / exposures / longTheory, 1.0, 0.08);
    EXPECT_NEAR(transSum / exposures / transTheory, 1.0, 0.08);
  }
}

}  // namespace
}  // namespace nebulor::sky
