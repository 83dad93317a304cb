#pragma once

// Star frames whose truth is known, made independently of the simulator:
// Gaussian or Moffat star images integrated over the pixels, a sky with a
// gradient, photon and read noise, gain, bias, 16-bit clipping, hot pixels
// and cosmic-ray tracks; and the Cramer-Rao bound of a star's position on
// such a frame, from the Fisher information on the pixel grid.
#include <random>
#include <vector>

#include "stars/StarFinder.h"

namespace nebulor::test {

enum class Psf { gaussian, moffat };  // Moffat with beta = 3

struct TrueStar {
  double x = 0;  // pixel centres at whole numbers
  double y = 0;
  double flux = 0;  // electrons
};

struct HotPixel {
  int x = 0;
  int y = 0;
  double counts = 2000;  // above the pixel's own signal
};

// A straight cosmic-ray track depositing `electrons` per pixel of length.
struct CosmicTrack {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  double electrons = 3000;
};

struct StarScene {
  int width = 64;
  int height = 64;
  Psf psf = Psf::gaussian;
  double sigma = 1.5;      // px; a Moffat image of the same FWHM
  double sky = 100;        // electrons per pixel at the frame centre
  double skySlopeX = 0.3;  // electrons per pixel per pixel
  double skySlopeY = -0.2;
  double readNoise = 10;  // electrons
  double gain = 1;        // electrons per count
  double bias = 500;      // counts
  std::vector<TrueStar> stars;
  std::vector<HotPixel> hotPixels;
  std::vector<CosmicTrack> tracks;

  stars::NoiseModel noiseModel() const { return {gain, readNoise}; }
};

// Mean electrons of every pixel from sky and stars (no defects), row-major.
std::vector<double> meanElectrons(const StarScene& scene);

stars::Frame renderFrame(const StarScene& scene, std::mt19937_64& random);

// Flux (electrons) whose image, centred on a pixel, has this signal to noise
// in its brightest pixel over the scene's sky and read noise.
double fluxForPeakSnr(const StarScene& scene, double peakSnr);

// Cramer-Rao bound (px) on x of star `index`, with x, y, flux and sky level
// unknown; the root mean square over a 4 x 4 grid of sub-pixel positions.
double cramerRaoBound(const StarScene& scene, std::size_t index = 0);

}  // namespace nebulor::test
