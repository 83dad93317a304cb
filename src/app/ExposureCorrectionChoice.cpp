#include "app/ExposureCorrectionChoice.h"

#include "display/UserSettings.h"

namespace nebulor {

namespace {

constexpr const char* kExposureCorrectionKey = "exposureCorrection";
constexpr const char* kFastAcquisitionKey = "fastAcquisition";

}  // namespace

bool rememberedExposureCorrection() {
  return userSettings().value(QString::fromLatin1(kExposureCorrectionKey), false).toBool();
}

void rememberExposureCorrection(bool on) {
  userSettings().setValue(QString::fromLatin1(kExposureCorrectionKey), on);
}

bool rememberedFastAcquisition() {
  return userSettings().value(QString::fromLatin1(kFastAcquisitionKey), false).toBool();
}

void rememberFastAcquisition(bool on) {
  userSettings().setValue(QString::fromLatin1(kFastAcquisitionKey), on);
}

}  // namespace nebulor
