// The star finder on arbitrary pixels, frame sizes and search points. The
// sanitizers catch any read outside the frame; the searches themselves must
// return no more stars than asked for.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>

#include "stars/StarFinder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nebulor;
  FuzzedDataProvider input(data, size);
  stars::Frame frame;
  frame.width = input.ConsumeIntegralInRange(1, 96);
  frame.height = input.ConsumeIntegralInRange(1, 96);
  const double x = input.ConsumeFloatingPoint<double>();
  const double y = input.ConsumeFloatingPoint<double>();
  const int count = input.ConsumeIntegralInRange(0, 4);
  frame.pixels.resize(static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height));
  for (std::uint16_t& pixel : frame.pixels) pixel = input.ConsumeIntegral<std::uint16_t>();

  stars::findStarNear(frame, x, y);
  if (stars::findBrightestStars(frame, count).size() > static_cast<std::size_t>(count)) std::abort();
  return 0;
}
