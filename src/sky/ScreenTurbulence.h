#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sky/FourierImager.h"
#include "sky/PhaseScreen.h"
#include "sky/SkySettings.h"

namespace nebulor::sky {

// An image displacement, radians on the sky along the sensor's axes.
struct Tilt {
  double x = 0;
  double y = 0;
};

// G-tilt along x and along y of a hole of `diameter` (m) at `wavelength`
// (m), radians on the sky, from the phase: i lambda f A(f) with
// A(f) = 2 J1(pi D f) / (pi D f), the hole's mean.
std::vector<SpectralFilter> gTiltFilters(double wavelength, double diameter);

// Image motion of the two holes from a frozen-flow Von Karman screen.
//
// Each star image moves with the G-tilt of its own hole: the phase gradient
// averaged over the hole, times lambda / 2 pi. That average is a filter on
// the phase spectrum, so the screen generator delivers G-tilt maps directly,
// sampled 16 times across a hole; a hole anywhere on the screen is then one
// interpolation.
//
// During an exposure the screen moves past the mask at `wind` towards
// `winddir`, and the exposure's tilt is the mean over sub-steps at most a
// quarter hole apart (10 or more). The screen is cut into lanes along the
// wind, each as wide as the mask; in each lane the screen flows on from one
// exposure to the lane's next, and successive exposures take lanes far
// apart (in a scattered order, the lanes' starts staggered), so exposures
// within a reading are independent, as they are at the sky when the
// turbulence over the mask is replaced between them (several layers, each
// moving its own way), and the exposure time alone sets how much the motion
// is averaged. With little wind a lane still moves on by a hole diameter per
// exposure; in still air by the whole mask, since nothing else would bring
// fresh air. A used-up screen is replaced by a new independent one, never
// wrapped round.
//
// Given points in the holes, the same screens also yield the phase there
// (radians) at every sub-step, from which the images are formed.
class ScreenTurbulence {
 public:
  // r0 in metres.
  ScreenTurbulence(const SkySettings& settings, double r0, std::uint64_t seed,
                   const std::vector<PupilPoint>& pupil = {});

  // Mean G-tilt of hole 1 and hole 2 (star images 1 and 2) over an exposure
  // of `seconds`, for the turbulence at the zenith. With pupil points, also
  // the phase at each of them for every sub-step (of a long exposure: for
  // 20 spread over it) into `phases`: hole 1's sub-steps one after the
  // other, then hole 2's.
  std::array<Tilt, 2> exposure(double seconds, std::vector<float>* phases = nullptr) {
    return exposureInSteps(seconds, subSteps(seconds), phases);
  }

  // Sub-steps an exposure of `seconds` takes here: as many as keep them a
  // quarter hole apart, at least 10 (1 in still air) and at most 400.
  int subSteps(double seconds) const;

  // The same in `steps` sub-steps (at least subSteps), so that layers of
  // other winds share their times.
  std::array<Tilt, 2> exposureInSteps(double seconds, int steps, std::vector<float>* phases);

  // Frames one `seconds` after another (0: single exposures, each in fresh
  // air): each sees the air of the one before moved on by the wind over the
  // interval, so neighbouring frames are correlated as on a real sky, until a
  // stretch of lane is used up and the next frame starts in fresh air.
  void setFrameInterval(double seconds);

  // Whether the latest exposure began in air unrelated to the one before
  // (always, unless frames flow on): the frames on either side are then no
  // neighbours.
  bool startedFreshAir() const { return freshAir_; }

  // Samples per metre on the screen.
  double samplesPerMetre() const { return 1.0 / spacing_; }

 private:
  struct Point {
    double x, y;  // screen samples, wind frame
  };

  struct Lane {
    double start;   // samples along the wind where the lane's first cell starts
    double cursor;  // where its next cell starts
    bool wrapped;   // gone on from 0, up to its start, after reaching the screen's end
  };

  void newScreen();
  Point allocateCell(double pathSamples);
  Point flowCell(double pathSamples);
  Tilt tiltAt(const Point& point) const;
  double part(std::complex<double> value) const { return screenHalf_ == 0 ? value.real() : value.imag(); }

  double spacing_;  // metres between samples
  double wind_;     // metres per second
  double windCos_, windSin_;
  std::array<Point, 2> holes_;  // hole centres from the cell's corner, wind frame, samples
  std::vector<Point> pupil_;    // from a hole's centre, wind frame, samples
  double laneHeight_;           // samples across the wind
  double cellSpan_;             // samples along the wind, without the path
  PhaseScreen screen_;
  int screenHalf_ = 1;  // 0: real parts, 1: imaginary parts of the current draw
  std::vector<Lane> lanes_;
  int laneStride_;
  int nextLane_ = 0;
  double frameShift_ = 0;  // samples the air moves between frames; 0: no frames
  Point flowCorner_{};     // the last frame's cell
  double flowRoom_ = 0;    // samples of the reserved stretch still ahead of it
  bool freshAir_ = true;
};

}  // namespace nebulor::sky
