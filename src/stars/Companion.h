#pragma once

#include <optional>

#include "stars/BackgroundPlane.h"
#include "stars/GaussianImage.h"
#include "stars/OutlierMask.h"
#include "stars/Region.h"

namespace nebulor::stars::detail {

// A companion fitted as an image of the star's width (position and flux) to
// what the star's model leaves near the seed, masked pixels included; none
// when the fit fails or wanders off the seed.
std::optional<Star> fitCompanion(const Region& region, const Star& star, const Plane& plane,
                                 const CompanionSeed& seed, double gain);

}  // namespace nebulor::stars::detail
