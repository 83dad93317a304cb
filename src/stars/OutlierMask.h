#pragma once

#include "stars/BackgroundPlane.h"
#include "stars/GaussianImage.h"
#include "stars/Region.h"

namespace nebulor::stars::detail {

// Where the strongest light that breaks the star's symmetry lies, away from
// the star's core: a companion, perhaps.
struct CompanionSeed {
  bool found = false;
  int x = 0, y = 0;
  double excess = 0;  // counts above the mirror point
};

// Leaves out of the fit the pixels far brighter than the fitted star where
// it is faint (a companion's core, the rest of a track), and those that
// break the star's point symmetry: a star image, whatever its profile, is
// symmetric about its centre, so a residual well above the residual at the
// mirror point is light that is not the star's (a track across the core, a
// companion's wing). Such a pixel goes with its mirror pixel, which keeps
// what is left symmetric and the fit of the star's model unbiased. Returns
// how many pixels it left out, and notes the strongest such light that may
// be a companion in `seed`.
int maskOutliers(Region& region, const Star& star, const Plane& plane, double gain, CompanionSeed& seed);

}  // namespace nebulor::stars::detail
