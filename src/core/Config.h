#pragma once

#include <cstdint>

namespace nebulor {

// The seven persistent instrument and exposure parameters. All zero until
// LoadConfig has run: a start-up whose camera link failed keeps them so.
struct Config {
  float holeDistance = 0;              // mm, centre to centre of the mask's holes
  float holeDiameter = 0;              // mm
  float wavelength = 0;                // micrometres (the Setup dialog shows nm)
  float systemNoise = 0;               // kept and edited, read by no computation
  float initialExposure = 0;           // s, full frame for the star selection
  float measurementExposure = 0;       // s, every measurement image
  std::int16_t samplesPerReading = 0;  // accepted exposures per reading

  bool operator==(const Config&) const = default;
};

// Exposures one reading can hold: the reduction's tables have this many slots.
inline constexpr int kMaxSamples = 200;

// Whether a number of exposures per reading fits those tables (1..200).
inline constexpr bool samplesPerReadingFits(double samples) { return samples >= 1 && samples <= kMaxSamples; }

// The wavelength in micrometres as the decimal number config.ini holds (550
// nm, not the float nearest to it), which is what a reader of the files takes.
double writtenWavelength(const Config& config);

// The values a missing config.ini or a missing key gives.
Config defaultConfig();

}  // namespace nebulor
