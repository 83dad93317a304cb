#include "camera/maxim/MaximApplication.h"

#include <utility>

namespace nebulor::camera::maxim {

MaximApplication::MaximApplication(DispatchObject application) : application_(std::move(application)) {}

void MaximApplication::setTelescopeConnected(bool connected) {
  try {
    application_.put(application_.member("TelescopeConnected"), Variant::boolean(connected));
  } catch (const AutomationError&) {
    // What its users have always been told: the usual cause is a 32-bit
    // telescope driver that a 64-bit system cannot load.
    throw AutomationError("are you running on a 64bit OS?");
  }
}

bool MaximApplication::telescopeConnected() {
  return application_.getBool(application_.member("TelescopeConnected"));
}

}  // namespace nebulor::camera::maxim
