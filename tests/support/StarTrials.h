#pragma once

// Repeated measurements of one star by the star finder under one condition
// (PSF, signal to noise, defects, a companion), against the truth and the
// Cramer-Rao bound. Shared by the finder's tests and its benchmark.
#include <cstdint>
#include <vector>

#include "support/SyntheticStars.h"

namespace nebulor::test {

enum class Nuisance { none, hotPixel, cosmicRay, companion };

struct Condition {
  Psf psf = Psf::gaussian;
  double sigma = 1.5;
  double peakSnr = 100;
  Nuisance nuisance = Nuisance::none;
};

struct TrialFrame {
  stars::Frame frame;
  stars::NoiseModel noise;
  TrueStar truth;
  double towardsNuisanceX = 0;  // unit vector from the star to the companion
  double towardsNuisanceY = 0;
};

// Frames of 64 x 64 pixels with the star near the centre at a random
// sub-pixel position and the nuisance drawn afresh for each frame: a 2000
// count hot pixel 4 to 8 px away, a cosmic-ray track passing 2 to 6 px from
// the star, or a companion of 10% of the flux 6 to 10 px away.
std::vector<TrialFrame> makeTrialFrames(const Condition& condition, int frames, std::uint64_t seed);

// The scene of those frames without the nuisance and noise: for the bound.
StarScene trialScene(const Condition& condition);

struct TrialStatistics {
  double rms = 0;        // of x and y errors, px
  double bound = 0;      // Cramer-Rao bound, px
  double meanError = 0;  // the finder's own 1-sigma error, mean over frames
  double bias = 0;       // mean error towards the companion, px
  int failures = 0;      // not a clean detection (status or score)
  int frames = 0;
};

// The finder searches from a point 2 px right and 1 px above the star, as
// after a click or a reading's drift.
TrialStatistics measureTrials(const Condition& condition, int frames, std::uint64_t seed);

}  // namespace nebulor::test
