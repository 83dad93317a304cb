#pragma once

#include "stars/GaussianImage.h"
#include "stars/NoiseModel.h"
#include "stars/Region.h"

namespace nebulor::stars::detail {

struct FitResult {
  Star star;
  double score = 0;
  double error = 0;
  bool saturated = false;
  bool cut = false;  // part of the star image lies off the frame
};

// The star fitted from its start (see the comment at the top of
// StarFinder.cpp), with its score and the error of its position.
FitResult fitStar(Region& region, Star star, const NoiseModel& noise);

}  // namespace nebulor::stars::detail
