#pragma once

#include "stars/GaussianImage.h"
#include "stars/Region.h"

namespace nebulor::stars::detail {

struct Peak {
  int x = 0;
  int y = 0;
};

// The centre of the largest 3 x 3 sum in the box.
Peak brightestNeighbourhood(const Region& region, const Box& box);

// First and second moments of the pixels above the threshold near the peak:
// the start of the fit. False when no pixel there is above it.
bool thresholdedStart(const Region& region, const Peak& peak, const Background& background, Star& star);

}  // namespace nebulor::stars::detail
