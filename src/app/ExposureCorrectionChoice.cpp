#include "app/ExposureCorrectionChoice.h"

#include "display/UserSettings.h"

namespace nebulor {

namespace {

constexpr const char* kExposureCorrectionKey = "exposureCorrection";

}  // namespace

bool rememberedExposureCorrection() {
  return userSettings().value(QString::fromLatin1(kExposureCorrectionKey), false).toBool();
}

void rememberExposureCorrection(bool on) {
  userSettings().setValue(QString::fromLatin1(kExposureCorrectionKey), on);
}

}  // namespace nebulor
