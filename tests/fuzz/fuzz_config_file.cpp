// config.ini text as any editor or accident may leave it: whatever the
// bytes, the values read are ones the measurement can use and the list of
// warnings stays short.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "config/ConfigFile.h"
#include "core/MonitorState.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const nebulor::ConfigParse parse =
      nebulor::parseConfigText(std::string_view(reinterpret_cast<const char*>(data), size));
  const nebulor::Config& config = parse.config;
  const bool usable = config.holeDistance > 0 && config.holeDiameter > 0 && config.wavelength > 0 &&
                      std::isfinite(config.holeDistance) && std::isfinite(config.holeDiameter) &&
                      std::isfinite(config.wavelength) && std::isfinite(config.systemNoise) &&
                      std::isfinite(config.initialExposure) && std::isfinite(config.measurementExposure) &&
                      config.samplesPerReading >= 1 && config.samplesPerReading <= nebulor::kMaxSamples;
  if (!usable || parse.warnings.size() > 21) std::abort();
  return 0;
}
