#pragma once

#include <vector>

#include "stars/Centroid.h"
#include "stars/Frame.h"
#include "stars/NoiseModel.h"

namespace nebulor::stars {

// Finds the star image near (x, y) and measures its centroid, score, status
// and 1-sigma error (Centroid, with x and y in frame pixels, pixel centres at
// whole numbers). Never reads outside the frame and never throws.
Centroid findStarNear(const Frame& frame, double x, double y, const NoiseModel& noise = {});

// The `count` brightest star images of the whole frame, brightest first,
// each measured as findStarNear does and none twice; fewer when the frame
// holds fewer separate peaks. Hot pixels do not count as star images.
std::vector<Centroid> findBrightestStars(const Frame& frame, int count, const NoiseModel& noise = {});

}  // namespace nebulor::stars
