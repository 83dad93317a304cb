#include "display/UserSettings.h"

namespace nebulor {

QSettings userSettings() { return QSettings(QStringLiteral("nebulor"), QStringLiteral("nebulor")); }

}  // namespace nebulor
