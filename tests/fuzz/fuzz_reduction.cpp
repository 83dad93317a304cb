// The reduction on arbitrary numbers: star positions, instrument values and
// header geometry. Whatever it is given, nothing that is not a finite
// number may enter the seeing history.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "core/MonitorState.h"
#include "measure/SeeingReduction.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nebulor;
  FuzzedDataProvider input(data, size);
  MonitorState state;
  state.config = defaultConfig();
  state.config.samplesPerReading = input.ConsumeIntegral<std::int16_t>();
  state.config.holeDiameter = input.ConsumeFloatingPoint<float>();
  state.config.holeDistance = input.ConsumeFloatingPoint<float>();
  state.config.wavelength = input.ConsumeFloatingPoint<float>();
  state.historyCount = input.ConsumeIntegral<std::int16_t>();
  ExposureGeometry geometry;
  geometry.airmass = input.ConsumeFloatingPoint<double>();
  geometry.focalLength = input.ConsumeFloatingPoint<float>();
  geometry.pixelSize = input.ConsumeFloatingPoint<float>();
  for (int star = 1; star <= 2; ++star) {
    for (int i = 1; i <= kMaxSamples; ++i) {
      state.sampleX[star][i] = input.ConsumeFloatingPoint<float>();
      state.sampleY[star][i] = input.ConsumeFloatingPoint<float>();
    }
  }
  const auto history = state.fwhmHistory;
  StoreMeanPositions(state);
  const bool reduced = !ReduceReading(state, geometry).has_value();
  for (std::size_t slot = 0; slot < state.fwhmHistory.size(); ++slot) {
    if (!std::isfinite(state.fwhmHistory[slot])) std::abort();
    if (!reduced && state.fwhmHistory[slot] != history[slot]) std::abort();
  }
  if (reduced && !(std::isfinite(state.longStdDev) && std::isfinite(state.transStdDev))) std::abort();
  return 0;
}
