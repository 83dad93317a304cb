#pragma once

#include <cstdint>
#include <vector>

namespace nebulor::sky {

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

// One frozen-flow layer of the phase-screen sky.
struct WindLayer {
  double weight = 1;     // share of the turbulence, of r0^(-5/3); the layers' weights are normalised
  double speed = 10;     // m/s
  double direction = 0;  // degrees, as windDirection

  bool operator==(const WindLayer&) const = default;
};

// The simulated sky and the optics that bring it onto the sensor, with the
// defaults of a believable night. Units are in the comments.
struct SkySettings {
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
  std::vector<WindLayer> layers;    // several screens, each its own way; none: one at `wind`, `windDirection`
  Images images = Images::fourier;  // with turbulence=screen; the model's images are Gaussian

  // Telescope, and where the pair falls on the sensor (centred on it).
  double focalLength = 2000;  // mm
  double pixelSize = 5.4;     // micrometres, square pixels
  int width = 1280;           // sensor, pixels
  int height = 1024;
  double separation = 40;  // pixels between the two star images
  double angle = 20;       // degrees from the sensor's x axis to the line joining them

  std::uint64_t seed = 1;  // the run's draws follow from it, so a run is repeatable
};

}  // namespace nebulor::sky
