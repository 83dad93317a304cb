#include "flows/ExposureHeader.h"

#include <string>

#include "core/NumberText.h"
#include "flows/HeaderNumber.h"

namespace nebulor {

namespace {

// What a header value must be to be taken as what it claims.
struct HeaderRange {
  const char* keyword;
  const char* what;
  double least;
  double most;
};
constexpr HeaderRange kAltitudeRange{"OBJCTALT", "altitude in degrees", -90, 90};
constexpr HeaderRange kFocalLengthRange{"FOCALLEN", "focal length in mm", 1, 1e5};
constexpr HeaderRange kPixelWidthRange{"XPIXSZ", "pixel width in micrometres", 0.1, 1000};
constexpr HeaderRange kPixelHeightRange{"YPIXSZ", "pixel height in micrometres", 0.1, 1000};

std::optional<Failure> implausibility(const HeaderRange& range, std::optional<double> value) {
  if (!value || (*value >= range.least && *value <= range.most)) return std::nullopt;
  return Failure{"The image header gives " + std::string(range.keyword) + " = " + doubleText(*value) +
                 ", which is no " + range.what + " (" + doubleText(range.least) + " to " +
                 doubleText(range.most) + ") - please check the imaging application's setup"};
}

}  // namespace

ExposureHeader readExposureHeader(camera::ImageDocument& document) {
  const HeaderNumber altitude = headerNumber(document, kAltitudeRange.keyword);
  // Read in order, as the checks go: nothing after the first value that fails is asked for.
  ExposureHeader header = checkExposureHeader(altitude.value, std::nullopt, std::nullopt, std::nullopt);
  header.altitudeUnusable = altitude.unusable;
  if (header.implausible) return header;
  const std::optional<double> focalLength = headerNumber(document, kFocalLengthRange.keyword).value;
  if (!focalLength || (header.implausible = implausibility(kFocalLengthRange, focalLength))) return header;
  header.focalLength = focalLength;
  const std::optional<double> pixelWidth = headerNumber(document, kPixelWidthRange.keyword).value;
  if (!pixelWidth || (header.implausible = implausibility(kPixelWidthRange, pixelWidth))) return header;
  const std::optional<double> pixelHeight = headerNumber(document, kPixelHeightRange.keyword).value;
  if (!pixelHeight || (header.implausible = implausibility(kPixelHeightRange, pixelHeight))) return header;
  header.pixelSize = (*pixelHeight + *pixelWidth) / 2;
  return header;
}

ExposureHeader checkExposureHeader(std::optional<double> altitude, std::optional<double> focalLength,
                                   std::optional<double> pixelWidth, std::optional<double> pixelHeight) {
  ExposureHeader header;
  if ((header.implausible = implausibility(kAltitudeRange, altitude))) return header;
  header.altitude = altitude;
  if (!focalLength || (header.implausible = implausibility(kFocalLengthRange, focalLength))) return header;
  header.focalLength = focalLength;
  if (!pixelWidth || (header.implausible = implausibility(kPixelWidthRange, pixelWidth))) return header;
  if (!pixelHeight || (header.implausible = implausibility(kPixelHeightRange, pixelHeight))) return header;
  header.pixelSize = (*pixelHeight + *pixelWidth) / 2;
  return header;
}

}  // namespace nebulor
