#pragma once

#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "camera/ClickState.h"
#include "camera/sim/SimFaults.h"
#include "sky/SkySettings.h"

namespace nebulor::camera::sim {

enum class Timing {
  instant,   // every image is ready as soon as it is exposed; time runs with the exposures
  realtime,  // an image is ready after its exposure plus the readout, on the wall clock
};

enum class TelescopeFault { none, raises, readsFalse };

// Who clicks the star images in the simulated image window.
struct ClickScript {
  bool automaticPair = false;      // "brightest": the pair the automatic selection chooses
  std::vector<ClickPoint> points;  // else these points in order; none: the user clicks
};

// Everything the simulated imaging application can be told: the sky it
// looks at and its camera, with the defaults of a believable night. Units
// are in the comments; the option keys are in the parser's table.
struct SimSettings : sky::SkySettings {
  // Camera: the light it collects, its noise and its timing.
  double flux = 1e6;      // electrons per second in each star image
  double sky = 2000;      // electrons per second per pixel
  double readNoise = 10;  // electrons RMS
  double gain = 1;        // electrons per count
  double bias = 100;      // counts
  int hotPixels = 0;      // stuck pixels at fixed places on the sensor, 2000 to 10000 counts high
  double cosmics = 0;     // mean cosmic-ray hits per image
  double readout = 0.2;   // seconds to read the whole sensor (a subframe: its share)
  Timing timing = Timing::instant;
  double stream = 100;  // frames per second of fast acquisition's stream

  // Who clicks, and the fault switches.
  ClickScript clicks;
  bool linkFails = false;  // the camera does not link at start
  int linkLostAfter = 0;   // the link drops after this many exposures; 0: never
  TelescopeFault telescope = TelescopeFault::none;
  std::set<std::string> missingKeys;  // header keywords left out of every image
  SimFaults faults;
};

// A malformed simulator option; what() is one line naming the key.
class SimSettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses the text after "sim:" of the --camera option: key=value pairs
// separated by commas, list values joined by '+'. Keys left out keep their
// defaults; a key given twice takes its later value.
SimSettings parseSimSettings(std::string_view text);

}  // namespace nebulor::camera::sim
