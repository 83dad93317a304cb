#include "sky/WindLayers.h"

#include <cmath>

#include "sky/SeeingModel.h"

namespace nebulor::sky {

std::vector<WindLayer> windLayers(const SkySettings& settings) {
  if (settings.layers.empty()) return {{1.0, settings.wind, settings.windDirection}};
  double total = 0;
  for (const WindLayer& layer : settings.layers) total += layer.weight;
  std::vector<WindLayer> layers = settings.layers;
  for (WindLayer& layer : layers) layer.weight /= total;
  return layers;
}

std::optional<double> trueTau0(const SkySettings& settings) {
  if (settings.turbulence != Turbulence::screen) return std::nullopt;
  double sum = 0;
  for (const WindLayer& layer : windLayers(settings)) sum += layer.weight * std::pow(layer.speed, 5.0 / 3.0);
  const double wind = std::pow(sum, 3.0 / 5.0);
  if (!(wind > 0)) return std::nullopt;
  const double r0 = SeeingModel(settings).r0() / 1000.0;  // m
  return 0.314 * r0 / wind * 1000.0;
}

}  // namespace nebulor::sky
