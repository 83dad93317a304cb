#pragma once

#include <array>
#include <optional>
#include <string>

#include "stars/StarFinder.h"

namespace nebulor::stars {

// Distances between the two star images, in pixels, that a pair may have.
struct SeparationRange {
  double min = 0;
  double max = 0;

  bool operator==(const SeparationRange&) const = default;
};

// The separations a mask plausibly gives on a camera of this plate scale
// (focal length in mm, pixel size in micrometres).
SeparationRange plausibleSeparation(double focalLength, double pixelSize);

// Two images of one star found on a full frame, star 1 the left one.
struct StarPair {
  std::array<Centroid, 2> stars;
};

// The pair, or why there is none (one line for the user).
struct StarPairChoice {
  std::optional<StarPair> pair;
  std::string refusal;
};

// Chooses the two star images of the mask on a full frame: the brightest
// two whose fluxes differ by less than a factor 3 and whose distance lies in
// `separation`. Single bright pixels (hot pixels, cosmic rays) are no stars.
StarPairChoice chooseStarPair(const Frame& frame, const SeparationRange& separation);

}  // namespace nebulor::stars
