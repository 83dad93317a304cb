#pragma once

#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "camera/ClickState.h"
#include "camera/sim/SimFaults.h"

namespace nebulor::camera::sim {

enum class Timing {
  instant,   // every image is ready as soon as it is exposed; time runs with the exposures
  realtime,  // an image is ready after its exposure plus the readout, on the wall clock
};

enum class TelescopeFault { none, raises, readsFalse };

enum class Turbulence {
  model,   // differential motion drawn from the response formula the reduction inverts
  screen,  // G-tilt of each hole from a moving phase screen
};

// Which response turbulence=model draws its differential motion from.
enum class Response {
  finder,     // the star finder's on real images: the G-tilt's times its own response
  classical,  // the classical formula, the very one the reduction inverts
};

// How the phase screen's star images are formed.
enum class Images {
  fourier,   // by Fourier optics from each hole's wavefront
  gaussian,  // a Gaussian of the diffraction width, moved by the hole's G-tilt
};

// Who clicks the star images in the simulated image window.
struct ClickScript {
  bool automaticPair = false;      // "brightest": the pair the automatic selection chooses
  std::vector<ClickPoint> points;  // else these points in order; none: the user clicks
};

// Everything the simulated imaging application can be told, with the
// defaults of a believable night. Units are in the comments; the option keys
// are in the parser's table.
struct SimSettings {
  // Atmosphere and mask.
  double seeing = 1.2;        // arcsec: lambda / r0 at the zenith at `wavelength`
  double wavelength = 500;    // nm
  double holeDiameter = 50;   // mm
  double holeDistance = 150;  // mm, centre to centre
  double altitude = 60;       // degrees above the horizon at the start
  double altitudeRate = -10;  // degrees per hour (the star sets)
  double tipTilt = 0.3;       // arcsec RMS per axis, common to both images
  double drift = 0.5;         // pixels per minute, both images (tracking error)
  double clouds = 0;          // share of exposures in which the stars are hidden
  double cloudLength = 25;    // mean length of a cloud episode, exposures
  Turbulence turbulence = Turbulence::model;
  Response response = Response::finder;
  double outerScale = 20;           // m, of the phase screen; infinity: Kolmogorov
  double wind = 10;                 // m/s, the phase screen's speed
  double windDirection = 0;         // degrees from the sensor's x axis, the way the screen moves
  Images images = Images::fourier;  // with turbulence=screen; the model's images are Gaussian

  // Telescope and camera.
  double focalLength = 2000;  // mm
  double pixelSize = 5.4;     // micrometres, square pixels
  int width = 1280;           // sensor, pixels
  int height = 1024;
  double separation = 40;  // pixels between the two star images
  double angle = 20;       // degrees from the sensor's x axis to the line joining them
  double flux = 1e6;       // electrons per second in each star image
  double sky = 2000;       // electrons per second per pixel
  double readNoise = 10;   // electrons RMS
  double gain = 1;         // electrons per count
  double bias = 100;       // counts
  int hotPixels = 0;       // stuck pixels at fixed places on the sensor, 2000 to 10000 counts high
  double cosmics = 0;      // mean cosmic-ray hits per image
  double readout = 0.2;    // seconds to read the whole sensor (a subframe: its share)
  Timing timing = Timing::instant;
  std::uint64_t seed = 1;

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
