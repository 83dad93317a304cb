#pragma once

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "core/Config.h"
#include "measure/FrozenFlow.h"

namespace nebulor {

// A measured value and its 1-sigma error.
struct Measured {
  double value = 0;
  double error = 1;
};

// The layer that best explains what a reading measured of the motion's
// change with time.
struct WindFit {
  double path = 0;    // hole diameters per exposure
  double angle = 0;   // radians between the wind and the line joining the images, 0 to pi / 2
  MotionShares kept;  // what an exposure keeps of the instantaneous motion, each direction
  double misfit = 0;  // chi^2 of the measured values against the layer's
  // Whether one layer explains them: the misfit below what one layer's
  // measurements reach. Layers of very different speeds do not (below).
  bool oneLayer = true;

  // Each direction's seeing divided by its kept share to the power 3/5,
  // averaged: the best estimate at no exposure time.
  double corrected(double seeingAlong, double seeingAcross) const {
    return (seeingAlong / std::pow(kept.along, 0.6) + seeingAcross / std::pow(kept.across, 0.6)) / 2;
  }
  // m/s, for holes of `diameter` metres and exposures of `exposure` seconds.
  double speed(double diameter, double exposure) const { return path * diameter / exposure; }
};

// The frozen layer's response tabulated over the path u (hole diameters
// the wind covers in one exposure, up to twice kLongestPath) and the wind's
// angle to the line joining the images (0 to 90 degrees: a wind and its
// mirror image or its reverse move the images alike), and fitted to what a
// reading measured. Along and across fall differently with the path at
// every angle but one, so the two directions together tell the path and the
// angle, and each direction is corrected by what it kept. The total power
// alone would leave the angle open, and past two hole diameters of path
// what is kept depends on it by up to a third. Beyond about four diameters
// the correlations hardly change with the path, and what tells it is the
// balance of the two directions' variances: the direction the wind runs
// along loses more.
//
// Two layers of very different speeds fit no single layer: the fast one,
// covering several hole diameters in one exposure, has lost most of its
// motion and left the rest nearly uncorrelated from frame to frame, which
// tells its turbulence over its speed but not either alone. Its loss is
// then unknown: only exposures short enough for it to cover a diameter or
// two would tell it.
class WindResponse {
 public:
  // Exposures of t and 2t of the mask in config; `lag` the spacing of
  // neighbouring frames in exposures (for fitNeighbours). Built once for
  // each (a fraction of a second) and kept.
  static std::shared_ptr<const WindResponse> forMask(const Config& config, double lag);

  // The layer whose exposures of 2t keep `ratio` of the variance of those
  // of t, in each direction, and whose exposures of t keep `balance` as much
  // along as across (each direction's seeing, uncorrected, over the other's,
  // to the power 5/3: equal in still air).
  WindFit fitExposurePairs(const Measured& ratioAlong, const Measured& ratioAcross,
                           const Measured& balance) const;
  // The layer whose neighbouring frames correlate as `next` and frames two
  // apart as `afterNext`, in each direction, and whose frames keep `balance`.
  WindFit fitNeighbours(const std::array<Measured, 4>& nextAndAfterNext, const Measured& balance) const;

  WindResponse(const FrozenFlow& flow, double lag);

 private:
  struct Cell {
    MotionShares kept;
    MotionShares next;       // correlation of neighbours
    MotionShares afterNext;  // of frames two apart
  };
  Cell at(double path, double angle) const;  // interpolated
  template <typename Misfit>
  WindFit fit(Misfit misfit, double limit) const;

  std::vector<double> paths_;
  std::vector<Cell> cells_;  // [path][angle]
};

}  // namespace nebulor
