#include "stars/StarChoice.h"

#include <cmath>
#include <cstdio>

namespace nebulor::stars {

StarChoice judgeStarChoice(const Centroid& found, const std::optional<Centroid>& chosen) {
  if (!(found.score >= kCleanDetection)) return StarChoice::noStar;
  if (chosen && std::hypot(found.x - chosen->x, found.y - chosen->y) < kSameStarDistance) {
    return StarChoice::sameStar;
  }
  return StarChoice::usable;
}

std::string starChoiceReason(StarChoice choice, const Centroid& found) {
  switch (choice) {
    case StarChoice::noStar: {
      char score[32];
      std::snprintf(score, sizeof score, "%.1f", std::isfinite(found.score) ? found.score : 0.0);
      return std::string("no star image was found there (detection score ") + score + ", 10 needed)";
    }
    case StarChoice::sameStar:
      return "it is the star image already chosen";
    case StarChoice::usable:
      break;
  }
  return {};
}

}  // namespace nebulor::stars
