// An image as an INDI server may send it: whatever the bytes, decoding
// either gives a frame whose pixels match its stated size or throws
// AutomationError. Anything else escaping (std::length_error, bad_alloc)
// is a finding: on libindi's thread it would end the program.
#include <cstdint>
#include <cstdlib>

#include "camera/Automation.h"
#include "camera/indi/FitsImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nebulor::camera;
  try {
    const indi::FitsImage image = indi::readFitsImage(data, size);
    const stars::Frame& frame = image.frame;
    if (frame.width < 1 || frame.height < 1 ||
        frame.pixels.size() !=
            static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height)) {
      std::abort();
    }
  } catch (const AutomationError&) {
  }
  return 0;
}
