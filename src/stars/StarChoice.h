#pragma once

#include <optional>
#include <string>

#include "stars/Centroid.h"

namespace nebulor::stars {

// Whether the star image found near a click can be one of the two the
// selection needs: a clean detection (score 10 or more), and not the star
// image already chosen (centroids this close are one image: two images
// nearer than this would blend in the centroid search anyway).
inline constexpr double kSameStarDistance = 5;  // pixels

enum class StarChoice { usable, noStar, sameStar };

StarChoice judgeStarChoice(const Centroid& found, const std::optional<Centroid>& chosen);

// Why a choice is refused, as a phrase: "no star image was found there
// (detection score 3.2, 10 needed)", "it is the star image already chosen".
std::string starChoiceReason(StarChoice choice, const Centroid& found);

}  // namespace nebulor::stars
