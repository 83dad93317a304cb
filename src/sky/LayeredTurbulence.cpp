#include "sky/LayeredTurbulence.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "sky/WindLayers.h"

namespace nebulor::sky {
namespace {

// Seeds of the layers after the first, far apart in the generator's input.
constexpr std::uint64_t kLayerSeedStep = 0x9e3779b97f4a7c15ULL;

}  // namespace

LayeredTurbulence::LayeredTurbulence(const SkySettings& settings, double r0, std::uint64_t seed,
                                     const std::vector<PupilPoint>& pupil) {
  const std::vector<WindLayer> layers = windLayers(settings);
  for (std::size_t i = 0; i < layers.size(); ++i) {
    SkySettings own = settings;
    own.wind = layers[i].speed;
    own.windDirection = layers[i].direction;
    layers_.push_back(std::make_unique<ScreenTurbulence>(own, r0 * std::pow(layers[i].weight, -3.0 / 5.0),
                                                         seed + i * kLayerSeedStep, pupil));
  }
}

std::array<Tilt, 2> LayeredTurbulence::exposure(double seconds, std::vector<float>* phases) {
  int steps = 0;
  for (const auto& layer : layers_) steps = std::max(steps, layer->subSteps(seconds));
  std::array<Tilt, 2> sum = layers_.front()->exposureInSteps(seconds, steps, phases);
  for (std::size_t i = 1; i < layers_.size(); ++i) {
    const std::array<Tilt, 2> tilts =
        layers_[i]->exposureInSteps(seconds, steps, phases ? &layerPhases_ : nullptr);
    for (std::size_t h = 0; h < 2; ++h) {
      sum[h].x += tilts[h].x;
      sum[h].y += tilts[h].y;
    }
    if (phases)
      std::transform(phases->begin(), phases->end(), layerPhases_.begin(), phases->begin(), std::plus<>());
  }
  return sum;
}

bool LayeredTurbulence::startedFreshAir() const {
  return std::any_of(layers_.begin(), layers_.end(),
                     [](const auto& layer) { return layer->startedFreshAir(); });
}

void LayeredTurbulence::setFrameInterval(double seconds) {
  for (const auto& layer : layers_) layer->setFrameInterval(seconds);
}

}  // namespace nebulor::sky
