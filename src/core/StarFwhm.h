#pragma once

#include <optional>
#include <vector>

#include "core/Reading.h"

namespace nebulor {

// The seeing as observatory software takes it (ASCOM's StarFWHM): the FWHM
// in arcsec of a long-exposure star image at the zenith at 500 nm. The best
// estimate is lambda / r0 at the zenith at the configured wavelength; r0
// grows as lambda^(6/5), so lambda / r0 goes as lambda^(-1/5), and the
// long-exposure FWHM is 0.98 lambda / r0:
//   StarFWHM = 0.98 * best * (wavelength / 0.5 um)^(1/5)
// Nothing without a best estimate or a wavelength (micrometres) above 0.
inline constexpr double kStarFwhmWavelength = 0.5;  // micrometres
std::optional<double> starFwhm(std::optional<double> best, double wavelength);
std::optional<double> starFwhm(const Reading& reading);

// The mean over the readings that have a best estimate; nothing when none has.
std::optional<double> meanStarFwhm(const std::vector<Reading>& readings);

// The one-line description of the value, as sensordescription gives it.
inline constexpr const char* kStarFwhmDescription =
    "Seeing as the FWHM (arcsec) of a long-exposure star image at the zenith at 500 nm: 0.98 lambda/r0 from "
    "Nebulor's DIMM best estimate, scaled from the configured wavelength by lambda^(-1/5)";

}  // namespace nebulor
