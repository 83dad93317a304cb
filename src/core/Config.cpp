#include "core/Config.h"

#include "core/NumberParse.h"
#include "core/NumberText.h"

namespace nebulor {

double writtenWavelength(const Config& config) {
  return parseNumber(singleText(config.wavelength)).value_or(config.wavelength);
}

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
