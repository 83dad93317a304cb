#include "core/StarFwhm.h"

#include <cmath>

namespace nebulor {

std::optional<double> starFwhm(std::optional<double> best, double wavelength) {
  if (!best || !(wavelength > 0)) return std::nullopt;
  return 0.98 * *best * std::pow(wavelength / kStarFwhmWavelength, 0.2);
}

std::optional<double> starFwhm(const Reading& reading) {
  return starFwhm(reading.best, reading.wavelength.value_or(0));
}

std::optional<double> meanStarFwhm(const std::vector<Reading>& readings) {
  double sum = 0;
  int count = 0;
  for (const Reading& reading : readings) {
    if (const std::optional<double> value = starFwhm(reading)) {
      sum += *value;
      ++count;
    }
  }
  if (count == 0) return std::nullopt;
  return sum / count;
}

}  // namespace nebulor
