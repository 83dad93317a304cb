#pragma once

#include <span>
#include <vector>

#include "sky/SkySettings.h"

namespace nebulor::sky {

// A star image on a patch of the sensor: each pixel's share of the star's
// light (the wings beyond the patch are lost in the sky).
struct ImageStamp {
  int x0 = 0;                 // sensor pixel of the patch's first column
  int y0 = 0;                 // and first row
  int size = 0;               // pixels per side; 0: no patch
  std::vector<float> shares;  // size * size, row-major
};

// A place in a hole where the wavefront is wanted: metres from the hole's
// centre along the sensor's axes.
struct PupilPoint {
  double x = 0;
  double y = 0;
};

// The image one hole forms of a star, by Fourier optics.
//
// The hole is sampled by a square grid of 16 cells across, the field of each
// weighted by the share of it that lies in the hole (its integral over the
// cell). For each sub-step of an exposure the field
// P = a exp(i phi) is carried to the sensor by a matrix Fourier transform
//   E(u, v) = sum P(x, y) exp(-2 pi i (u x + v y) / lambda),
// separable in x and y, straight onto a grid of sample points round the
// image (pixel centres when a pixel is under lambda / 2.5 D, else a finer
// grid), and the intensities |E|^2 of the sub-steps are summed. The intensity
// is band-limited (no frequency above D / lambda), so these samples hold all
// of it, and each pixel's integral over its area is an exact linear filter of
// them: the pixel's box times a reconstruction kernel flat over the band,
// tapered beyond it (a raised cosine, which keeps the filter short). The
// light's share per pixel is normalised by Parseval's theorem: the whole
// pattern of the hole's area holds 1.
class FourierImager {
 public:
  // `pixelScale` in radians per pixel; the patch reaches `reach` lambda / D
  // from its centre (97% of a flat wavefront's light within 3), plus room for
  // the image to wander during the exposure.
  FourierImager(const SkySettings& settings, double pixelScale, double reach = 3.0);

  // Where the phase is wanted, in the order the phases are given below.
  const std::vector<PupilPoint>& pupilPoints() const { return points_; }

  // The image of one exposure: `phases` holds the phase (radians) at the
  // pupil points for each sub-step, one block after the other, each times
  // `phaseScale`. A flat wavefront would centre the image on (flatX, flatY)
  // sensor pixels; the patch is centred on the pixel nearest (nearX, nearY).
  ImageStamp image(double flatX, double flatY, double nearX, double nearY, std::span<const float> phases,
                   double phaseScale) const;

  // Pixels from the patch's centre to its edge.
  int reach() const { return reach_; }

 private:
  std::vector<PupilPoint> points_;
  std::vector<float> amplitude_;        // per point
  std::vector<int> cell_;               // per point: its cell in the N x N grid
  std::vector<double> cellCoordinate_;  // metres from the hole's centre, per grid column (and row)
  double wavenumberPixel_;              // 2 pi / lambda times radians per pixel
  double normalisation_;
  int reach_;        // pixels
  int fineCount_;    // samples per side of the fine grid
  int finePadded_;   // fineCount_ rounded up to a multiple of 8
  double fineStep_;  // pixels between samples of the fine grid
  // Per fine sample and grid column (real and imaginary parts apart): the
  // transform's kernel exp(-i k u x), u from the patch's centre.
  std::vector<float> kernelRe_, kernelIm_;
  std::vector<float> pixelFilter_;        // patch pixel x fine sample
  std::vector<std::size_t> filterFirst_;  // per patch pixel: its first tap
  int filterTaps_ = 0;
};

}  // namespace nebulor::sky
