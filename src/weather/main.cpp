// indi_nebulor_weather: libindidriver's main() serves every device made here.
#include <memory>

#include "weather/SeeingWeather.h"

namespace {

const auto device = std::make_unique<nebulor::SeeingWeather>();

}  // namespace
