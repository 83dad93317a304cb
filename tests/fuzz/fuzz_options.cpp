// The command line and the option texts inside it: the first byte picks the
// parser, the rest is its text (for the program's options, arguments split
// at zero bytes). Only each parser's own error may come out; simulator
// settings that pass are rendered, so no accepted value can overflow the
// simulated night.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "app/ProgramOptions.h"
#include "camera/Automation.h"
#include "camera/sim/FrameRenderer.h"
#include "camera/sim/SimSettings.h"
#include "sky/Scene.h"
#include "sky/SeeingModel.h"
#ifdef NEBULOR_FUZZ_INDI
#include "camera/indi/IndiOptions.h"
#endif

namespace {

using namespace nebulor;

void renderNight(const camera::sim::SimSettings& settings) {
  const sky::SeeingModel seeing(settings);
  sky::Scene scene(settings, seeing);
  const camera::sim::FrameRenderer renderer(settings, seeing.psfSigma());
  std::mt19937_64 noise(settings.seed);
  const camera::SensorBox box{0, 0, std::min(settings.width, 48), std::min(settings.height, 48)};
  for (const double time : {0.0, 3600.0 * 12}) {
    const stars::Frame frame = renderer.render(scene.next(time, 0.01), box, 0.01, noise);
    if (frame.pixels.size() != static_cast<std::size_t>(box.width) * box.height) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 3) {
    case 0: {
      std::vector<std::string> args;
      std::size_t start = 0;
      for (std::size_t zero; (zero = text.find('\0', start)) != std::string::npos; start = zero + 1)
        args.push_back(text.substr(start, zero - start));
      args.push_back(text.substr(start));
      try {
        const ProgramOptions options = parseProgramOptions(args);
        // 0 readings: a headless run or a demo until it is stopped.
        if (options.readings < 0 || (options.readings == 0 && !options.headless && !options.demo) ||
            options.camera.empty())
          std::abort();
      } catch (const ProgramOptionsError&) {
      }
      break;
    }
    case 1:
      try {
        renderNight(camera::sim::parseSimSettings(text));
      } catch (const camera::sim::SimSettingsError&) {
      }
      break;
    case 2:
#ifdef NEBULOR_FUZZ_INDI
      try {
        const camera::indi::IndiOptions options = camera::indi::parseIndiOptions(text);
        if (options.port < 1 || options.port > 65535) std::abort();
      } catch (const camera::AutomationError&) {
      }
#endif
      break;
  }
  return 0;
}
