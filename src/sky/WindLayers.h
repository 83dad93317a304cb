#pragma once

#include <optional>
#include <vector>

#include "sky/SkySettings.h"

namespace nebulor::sky {

// The phase-screen sky's layers, their weights normalised to sum to 1:
// `layers`, or without them the one layer of `wind` towards `windDirection`.
std::vector<WindLayer> windLayers(const SkySettings& settings);

// The coherence time the simulated sky has, ms: tau0 = 0.314 r0 / V at the
// zenith and `wavelength`, V = (sum w_i v_i^(5/3))^(3/5) over the layers.
// None without phase screens (the model has no wind) or in still air.
std::optional<double> trueTau0(const SkySettings& settings);

}  // namespace nebulor::sky
