#include "core/Config.h"

namespace nebulor {

Config defaultConfig() {
  Config config;
  config.holeDistance = 150;
  config.holeDiameter = 50;
  config.wavelength = 0.5f;
  config.systemNoise = 0;
  config.initialExposure = 0.5f;
  config.measurementExposure = 0.01f;
  config.samplesPerReading = 20;
  return config;
}

}  // namespace nebulor
