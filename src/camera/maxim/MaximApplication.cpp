#include "camera/maxim/MaximApplication.h"

#include <utility>

namespace nebulor::camera::maxim {

MaximApplication::MaximApplication(DispatchObject application) : application_(std::move(application)) {}

void MaximApplication::setTelescopeConnected(bool connected) {
  application_.put(application_.member("TelescopeConnected"), Variant::boolean(connected));
}

bool MaximApplication::telescopeConnected() {
  return application_.getBool(application_.member("TelescopeConnected"));
}

}  // namespace nebulor::camera::maxim
