#pragma once

#include <QSettings>

namespace nebulor {

// Where the user's remembered choices are kept (the night view, the
// exposure-time correction, the Alpaca server): this user's settings of
// Nebulor, in the system's usual place for them. Each choice has its own key.
QSettings userSettings();

}  // namespace nebulor
