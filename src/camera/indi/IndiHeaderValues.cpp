#include "camera/indi/IndiHeaderValues.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace nebulor::camera::indi {

namespace {

std::optional<double> positive(std::optional<double> value) {
  if (value && std::isfinite(*value) && *value > 0) return value;
  return std::nullopt;
}

double radians(double degrees) { return degrees * std::numbers::pi / 180; }

std::optional<double> mountAltitude(const IndiDevice& mount, std::chrono::system_clock::time_point now) {
  if (const auto altitude = mount.number("HORIZONTAL_COORD", "ALT")) return altitude;
  const auto ra = mount.number("EQUATORIAL_EOD_COORD", "RA");
  const auto dec = mount.number("EQUATORIAL_EOD_COORD", "DEC");
  const auto latitude = mount.number("GEOGRAPHIC_COORD", "LAT");
  const auto longitude = mount.number("GEOGRAPHIC_COORD", "LONG");
  if (!ra || !dec || !latitude || !longitude) return std::nullopt;
  return altitudeOf(*ra, *dec, *latitude, *longitude, now);
}

}  // namespace

double altitudeOf(double rightAscension, double declination, double latitude, double eastLongitude,
                  std::chrono::system_clock::time_point when) {
  // Greenwich mean sidereal time from days since J2000.0 (2000-01-01 12:00 UT),
  // good to a fraction of a second of time for decades around it.
  const double days = std::chrono::duration<double>(when.time_since_epoch()).count() / 86400.0 - 10957.5;
  const double sidereal = 280.46061837 + 360.98564736629 * days + eastLongitude;
  const double hourAngle = radians(sidereal - 15 * rightAscension);
  const double sine = std::sin(radians(latitude)) * std::sin(radians(declination)) +
                      std::cos(radians(latitude)) * std::cos(radians(declination)) * std::cos(hourAngle);
  return std::asin(std::clamp(sine, -1.0, 1.0)) * 180 / std::numbers::pi;
}

HeaderValues headerValues(const IndiSnapshot& snapshot, const std::string& ccd,
                          std::chrono::system_clock::time_point now) {
  HeaderValues values;
  const IndiDevice* camera = snapshot.device(ccd);
  if (camera == nullptr) return values;
  values.pixelWidth = positive(camera->number("CCD_INFO", "CCD_PIXEL_SIZE_X"));
  values.pixelHeight = positive(camera->number("CCD_INFO", "CCD_PIXEL_SIZE_Y"));
  values.focalLength = positive(camera->number("SCOPE_INFO", "FOCAL_LENGTH"));

  const IndiProperty* active = camera->property("ACTIVE_DEVICES");
  if (active == nullptr) return values;
  const auto mountName = active->texts.find("ACTIVE_TELESCOPE");
  const IndiDevice* mount = mountName == active->texts.end() ? nullptr : snapshot.device(mountName->second);
  if (mount == nullptr) return values;
  if (!values.focalLength)
    values.focalLength = positive(mount->number("TELESCOPE_INFO", "TELESCOPE_FOCAL_LENGTH"));
  values.altitude = mountAltitude(*mount, now);
  return values;
}

}  // namespace nebulor::camera::indi
