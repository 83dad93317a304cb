#pragma once

#include "stars/GaussianImage.h"
#include "stars/Region.h"

namespace nebulor::stars::detail {

// The sharpest star image that optics and pixels can make (Gaussian sigma).
inline constexpr double kSharpestSigma = 0.6;
// A defect stands out from its neighbours by this many noise units.
inline constexpr double kDefectInNoise = 5.0;

// How far a pixel of a star image of width sigma, centred on a pixel, can
// stand above the mean of a pair of its opposite neighbours, with a margin.
double sharpnessLimit(double sigma);

// Replaces hot pixels and cosmic-ray hits inside `box` by the median of their
// neighbours' pair means (see the comment at the top of StarFinder.cpp),
// repeated while it finds any (a few passes at most): a track pixel with
// bright neighbours across it shows once those are gone.
void cleanDefects(Region& region, const Box& box, const Background& background, double gain,
                  double sharpness);

// The defect test's limit once the star is located.
double starSharpness(const Region& region, const Star& star, const Background& local);

}  // namespace nebulor::stars::detail
