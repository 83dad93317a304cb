#pragma once

#include <vector>

namespace nebulor {

// A direction's share of something measured along and across the line
// joining the images.
struct MotionShares {
  double along = 0;
  double across = 0;
};

// How the differential motion of the two images changes with time when one
// frozen turbulent layer crosses the mask: the covariance of two exposures
// of T, their starts lag * T apart, along and across the line joining the
// images, each as a share of that direction's instantaneous variance. The
// wind covers the path u = v T / D (in hole diameters) in one exposure, at
// `angle` radians to that line.
//
// Each image moves with its hole's G-tilt. The tilt along e of two holes
// separated by rho (angle phi) covaries as
//   C_e(rho) = C0(|rho|) - cos 2(phi - e) C2(|rho|),
//   Cm(r) = int w(q) Jm(q r / D) dq,  w(q) = q^3 (2 J1(q/2) / (q/2))^2 (q^2 + q0^2)^(-11/6),
// q = kappa D and q0 = 2 pi D / L0 (a Von Karman phase spectrum through the
// hole's mean gradient). In frozen flow the differential motion at times s
// apart covaries as 2 C_e(v s) - C_e(B - v s) - C_e(B + v s), and two
// exposures average that over the triangle of their overlap.
class FrozenFlow {
 public:
  // Hole diameter, their distance and the outer scale, all in metres.
  FrozenFlow(double holeDiameter, double holeDistance, double outerScale);

  MotionShares covariance(double path, double angle, double lag) const;
  // The share of the instantaneous variance an exposure keeps.
  MotionShares kept(double path, double angle) const { return covariance(path, angle, 0); }

 private:
  double tilt(double x, double y, double direction) const;  // C_e at (x, y) hole diameters
  double differential(double path, double angle, double direction) const;

  double distance_;         // B / D
  std::vector<double> c0_;  // C0 and C2 in steps of kTiltStep hole diameters
  std::vector<double> c2_;
};

}  // namespace nebulor
