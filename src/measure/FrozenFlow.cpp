#include "measure/FrozenFlow.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace nebulor {
namespace {

// The spectrum from well below the outer scale to where the hole's filter
// leaves nothing, in equal steps of log q.
constexpr double kFirstQ = 0.01;
constexpr double kLastQ = 60;
constexpr int kSpectrumPoints = 160;

// The tilt's covariance is smooth on the scale of a hole; beyond the table
// it is held, where the difference of the holes takes nearly all of it away.
constexpr double kTiltStep = 0.04;  // hole diameters
constexpr double kTiltReach = 64;

double interpolated(const std::vector<double>& table, double r) {
  const double at = r / kTiltStep;
  const auto i = static_cast<std::size_t>(at);
  if (i + 1 >= table.size()) return table.back();
  const double t = at - static_cast<double>(i);
  return table[i] + t * (table[i + 1] - table[i]);
}

// Points per exposure's worth of path: the covariance changes over a tenth
// of a hole.
int pointsFor(double path) { return 16 + static_cast<int>(20 * path); }

}  // namespace

FrozenFlow::FrozenFlow(double holeDiameter, double holeDistance, double outerScale)
    : distance_(holeDistance / holeDiameter) {
  const double q0 = 2 * std::numbers::pi * holeDiameter / outerScale;
  const double step = std::log(kLastQ / kFirstQ) / (kSpectrumPoints - 1);
  std::vector<double> q;
  std::vector<double> w;
  for (int i = 0; i < kSpectrumPoints; ++i) {
    const double at = kFirstQ * std::exp(i * step);
    const double filter = 4 * std::cyl_bessel_j(1.0, at / 2) / at;
    q.push_back(at);
    w.push_back(std::pow(at, 3) * filter * filter * std::pow(at * at + q0 * q0, -11.0 / 6.0) * at * step);
  }
  const int size = static_cast<int>(kTiltReach / kTiltStep) + 2;
  for (int k = 0; k < size; ++k) {
    const double r = k * kTiltStep;
    double m0 = 0;
    double m2 = 0;
    for (std::size_t i = 0; i < q.size(); ++i) {
      const double x = q[i] * r;
      const double j0 = std::cyl_bessel_j(0.0, x);
      // J2 = 2 J1 / x - J0, and x^2 / 8 near 0.
      const double j2 = x < 1e-3 ? x * x / 8 : 2 * std::cyl_bessel_j(1.0, x) / x - j0;
      m0 += w[i] * j0;
      m2 += w[i] * j2;
    }
    c0_.push_back(m0);
    c2_.push_back(m2);
  }
}

double FrozenFlow::tilt(double x, double y, double direction) const {
  const double r = std::hypot(x, y);
  if (r == 0) return c0_.front();
  // cos 2(phi - e) from the components, without the angle itself.
  const double ce = std::cos(direction);
  const double se = std::sin(direction);
  const double along = (x * ce + y * se) / r;
  const double across = (y * ce - x * se) / r;
  return interpolated(c0_, r) - (along * along - across * across) * interpolated(c2_, r);
}

// The differential motion's covariance at times the wind covers `path` apart.
double FrozenFlow::differential(double path, double angle, double direction) const {
  const double x = path * std::cos(angle);
  const double y = path * std::sin(angle);
  return 2 * tilt(x, y, direction) - tilt(distance_ - x, -y, direction) - tilt(distance_ + x, y, direction);
}

MotionShares FrozenFlow::covariance(double path, double angle, double lag) const {
  const double directions[2] = {0, std::numbers::pi / 2};
  double result[2] = {};
  const int points = pointsFor(path);
  for (int d = 0; d < 2; ++d) {
    const double instantaneous = differential(0, angle, directions[d]);
    double sum = 0;
    // The triangle 1 - |x| over x in [-1, 1], midpoints on each side of its peak.
    for (int i = 0; i < points; ++i) {
      const double x = (i + 0.5) / points;
      sum += (1 - x) * (differential(path * (lag + x), angle, directions[d]) +
                        differential(path * (lag - x), angle, directions[d]));
    }
    result[d] = sum / points / instantaneous;
  }
  return {result[0], result[1]};
}

}  // namespace nebulor
