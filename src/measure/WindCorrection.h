#pragma once

#include <optional>
#include <string>

#include "core/Coherence.h"
#include "measure/BestEstimate.h"

namespace nebulor {

// The longest path per exposure, in hole diameters, the wind is measured
// to: there a layer keeps a tenth of its motion, and a faster wind could no
// longer be told from it.
inline constexpr double kLongestPath = 20;

// The outer scale the wind's response assumes, metres: typical of a site's
// turbulence, and what changes it most (a factor of two moves the lost
// motion by a few percent).
inline constexpr double kAssumedOuterScale = 20;

// Why a fit of no single layer gives no wind; the best estimate is then
// corrected for what the fit explains, and reads better than the truth.
inline constexpr const char* kNoSingleLayerReason =
    "the motion fits no single frozen layer (a fast layer aloft, most likely): the best estimate is "
    "corrected for the slower air only, and shorter exposures would tell the rest";

// What a reading's motion says of the wind: the best estimate corrected to
// no exposure time by the kept share of the motion the measured wind
// implies, and the wind and coherence time; or why it cannot say.
struct WindCorrection {
  std::optional<SeeingEstimate> best;  // corrected; none when the wind is unknown
  std::optional<Coherence> coherence;
  std::string unknown;  // why there is no wind, when there is none
};

}  // namespace nebulor
