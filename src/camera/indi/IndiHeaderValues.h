#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "camera/indi/IndiSnapshot.h"

namespace nebulor::camera::indi {

// What a single exposure's FITS header carries for the measurement, taken
// from the devices' properties where no header comes (stream frames).
struct HeaderValues {
  std::optional<double> altitude;     // degrees, the mount's
  std::optional<double> focalLength;  // mm
  std::optional<double> pixelWidth;   // micrometres
  std::optional<double> pixelHeight;  // micrometres
};

// The camera's pixel size (CCD_INFO) and, from the mount it follows
// (ACTIVE_DEVICES.ACTIVE_TELESCOPE), the focal length (TELESCOPE_INFO,
// unless the camera's own SCOPE_INFO gives one) and the altitude
// (HORIZONTAL_COORD, else worked out from EQUATORIAL_EOD_COORD,
// GEOGRAPHIC_COORD and the time). Zero or missing values stay empty, as
// a header without them would.
HeaderValues headerValues(const IndiSnapshot& snapshot, const std::string& ccd,
                          std::chrono::system_clock::time_point now);

// Altitude in degrees of a place of the sky of date (right ascension in
// hours, declination in degrees) from a site (latitude, east longitude in
// degrees) at a time.
double altitudeOf(double rightAscension, double declination, double latitude, double eastLongitude,
                  std::chrono::system_clock::time_point when);

}  // namespace nebulor::camera::indi
