#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "sky/ScreenTurbulence.h"
#include "sky/SkySettings.h"

namespace nebulor::sky {

// Several frozen-flow layers over the mask, one ScreenTurbulence each (see
// windLayers): a layer of weight w has r0 w^(-3/5), so the layers' r0^(-5/3)
// add up to the whole sky's, and its own wind, lanes and frame flow. The
// pupil sees the sum of the layers' phases, so each hole's G-tilt and the
// phase at each pupil point are the sums over the layers, taken at the same
// sub-steps (as many as the fastest layer needs). One layer is exactly the
// single screen.
class LayeredTurbulence {
 public:
  // r0 in metres, of the whole sky; layer 0 draws from `seed`, the others
  // from seeds of their own.
  LayeredTurbulence(const SkySettings& settings, double r0, std::uint64_t seed,
                    const std::vector<PupilPoint>& pupil = {});

  // As ScreenTurbulence::exposure, summed over the layers.
  std::array<Tilt, 2> exposure(double seconds, std::vector<float>* phases = nullptr);

  // Whether any layer's latest exposure began in fresh air.
  bool startedFreshAir() const;

  // As ScreenTurbulence::setFrameInterval, for every layer.
  void setFrameInterval(double seconds);

 private:
  std::vector<std::unique_ptr<ScreenTurbulence>> layers_;  // PhaseScreen cannot move
  std::vector<float> layerPhases_;
};

}  // namespace nebulor::sky
