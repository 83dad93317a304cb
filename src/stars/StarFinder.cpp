#include "stars/StarFinder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "stars/BackgroundPlane.h"
#include "stars/Defects.h"
#include "stars/FitStart.h"
#include "stars/GaussianFit.h"
#include "stars/GaussianImage.h"
#include "stars/Region.h"

// How a star is measured near a requested point (all in counts, g = gain):
//
// 1. Search box of 25 x 25 pixels round the point. Its border gives a rough
//    background b0 and noise s0 (median, scaled median absolute deviation).
// 2. Defects. With p the lowest of the means of a pixel's four pairs of
//    opposite neighbours, a pixel v is a hot pixel or a cosmic-ray hit when
//        (v - b0) - R max(p - b0, 0) > 5 sqrt(s0^2 + (v - b0) / g):
//    sharper across some direction than a star image can be (a track is
//    sharp across itself). It is replaced by the median of the four means.
//    R = 1 + 1.5 (c0^2 / c1^2 - 1), c0 and c1 the shares of the centre and
//    a side pixel of the sharpest star image that optics and pixels can make
//    (Gaussian sigma 0.6 px); once the star's own width is measured the
//    test runs again with that width, catching a hot pixel on a broad wing.
//    The median stands in for the peak search and the start; the fit leaves
//    the pixel out.
// 3. Start: the largest 3 x 3 sum, then the first and second moments of
//    v - b0 over the pixels more than 3 s0 above b0 within 6 px of it.
// 4. Background: the plane B(x, y) = a + b (x - xc) + c (y - yc) fitted by
//    least squares to the annulus 4 sigma + 2 < r < 4 sigma + 7 round the
//    star, 3-sigma clipped. Its residual RMS s is the sky and read noise
//    (never below readNoise / g).
// 5. Centroid: the model mu_i = F G_i(x, y, sigma), G_i the Gaussian
//    integrated over pixel i, fitted to d_i = v_i - B_i within r < 4 sigma + 1
//    by Fisher scoring with the noise budget of each pixel,
//        V_i = s^2 + mu_i / g,    J^T V^-1 J delta = J^T V^-1 (d - mu),
//    J the derivatives of mu by (x, y, F, sigma). The x step is a windowed
//    centroid, sigma^2 sum w_i (x_i - x)(d_i - mu_i) / (F sum w_i G_i (x_i - x)^2)
//    with the window w_i = G_i / V_i: Gaussian, of the measured width, where
//    the sky dominates; flat where the star's photon noise does (both the
//    optimal weights); the model term mu_i cancels the pull of coarse pixels.
//    It stops when the position step is under a tenth of its own error.
//    Once settled, the fit leaves out pixels with r_i = d_i - mu_i far above
//    the model, and pixels with r_i - r(2c - x_i) > 4 sqrt(2 V_i): a star
//    image is point-symmetric about its centre c whatever its profile, so
//    light above the mirror point's is not the star's (a track, a
//    companion's wing); each such pixel goes with its mirror pixel, which
//    keeps the rest symmetric. Then it fits again. When the strongest such
//    light lies over 2.5 sigma from the centre, a companion is fitted there
//    (an image of the star's width: position and flux) to d_i - mu_i, masked
//    pixels included; its image is taken off every pixel, the masks undone,
//    and the star fitted once more: the companion's wing across the star's
//    core, which no pixel test can see, goes with it.
// 6. Score: matched-filter signal to noise sum(G_i d_i / V_i) / sqrt(sum G_i^2 / V_i)
//    (the best linear flux of the fitted shape over its noise), about
//    1.4 to 3 times the peak pixel's, so that 10 still means a clean detection.
//    Error: the root mean square of the x and y diagonal of (J^T V^-1 J)^-1,
//    the Cramer-Rao bound of a Gaussian star of the measured width.
//
// Each step has a file of its own: Region and Defects (1, 2), FitStart (3),
// BackgroundPlane (4), FitSums, OutlierMask, Companion and GaussianFit (5, 6).
namespace nebulor::stars {

using namespace detail;

namespace {

// The search box reaches this far from the requested point: enough for a
// click a few pixels off or a reading's worth of drift and image motion,
// short of the second star image about 40 pixels away.
constexpr int kSearchHalfSize = 12;
constexpr int kRegionHalfSize =
    kSearchHalfSize + static_cast<int>(kFitRadiusInSigma * kMaxSigma + 1 + kAnnulusGap + kAnnulusWidth) + 1;

bool usable(const Frame& frame) {
  return frame.width > 0 && frame.height > 0 &&
         frame.pixels.size() >= static_cast<std::size_t>(frame.width) * frame.height;
}

}  // namespace

Centroid findStarNear(const Frame& frame, double x, double y, const NoiseModel& noise) {
  Centroid result{x, y, 0.0, StarStatus::outsideFrame, 0.0};
  if (!usable(frame) || !std::isfinite(x) || !std::isfinite(y)) return result;
  const double ix = std::nearbyint(x);
  const double iy = std::nearbyint(y);
  if (ix < 0 || iy < 0 || ix >= frame.width || iy >= frame.height) return result;
  const NoiseModel model{noise.gain > 0 ? noise.gain : 1.0, std::max(noise.readNoise, 0.0)};

  const int px = static_cast<int>(ix);
  const int py = static_cast<int>(iy);
  Region region(frame, px, py, kRegionHalfSize);
  const Box box{std::max(px - kSearchHalfSize, 0), std::max(py - kSearchHalfSize, 0),
                std::min(px + kSearchHalfSize, frame.width - 1),
                std::min(py + kSearchHalfSize, frame.height - 1)};
  const Background background = borderBackground(region, box);
  cleanDefects(region, box, background, model.gain, sharpnessLimit(kSharpestSigma));
  const Peak peak = brightestNeighbourhood(region, box);
  result.status = StarStatus::faint;

  Star start;
  if (!thresholdedStart(region, peak, background, start)) return result;  // nothing above the threshold
  region.leaveOutDefects();
  const FitResult fit = fitStar(region, start, model);
  result.x = fit.star.x;
  result.y = fit.star.y;
  result.score = fit.score;
  result.error = fit.error;
  const bool beyondBox = fit.star.x < box.x0 - 0.5 || fit.star.x > box.x1 + 0.5 ||
                         fit.star.y < box.y0 - 0.5 || fit.star.y > box.y1 + 0.5;
  if (result.score < kCleanDetection)
    result.status = StarStatus::faint;
  else if (fit.saturated)
    result.status = StarStatus::saturated;
  else if (fit.cut || beyondBox)
    result.status = StarStatus::nearEdge;
  else
    result.status = StarStatus::found;
  return result;
}

std::vector<Centroid> findBrightestStars(const Frame& frame, int count, const NoiseModel& noise) {
  std::vector<Centroid> stars;
  if (!usable(frame) || count <= 0) return stars;
  // Each pixel's 3 x 3 sum without its brightest pixel: a star image keeps
  // most of its light, a hot pixel loses all of it.
  const std::size_t size = static_cast<std::size_t>(frame.width) * frame.height;
  std::vector<double> sums(size);
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      double sum = 0, brightest = 0;
      for (int v = std::max(y - 1, 0); v <= std::min(y + 1, frame.height - 1); ++v) {
        for (int u = std::max(x - 1, 0); u <= std::min(x + 1, frame.width - 1); ++u) {
          sum += frame.at(u, v);
          brightest = std::max<double>(brightest, frame.at(u, v));
        }
      }
      sums[static_cast<std::size_t>(y) * frame.width + x] = sum - brightest;
    }
  }
  // Every seed claims its search box, so that no peak is tried twice; a seed
  // whose search lands on a star already found adds nothing.
  std::vector<bool> claimed(size, false);
  const auto claim = [&](int cx, int cy) {
    for (int y = std::max(cy - kSearchHalfSize, 0); y <= std::min(cy + kSearchHalfSize, frame.height - 1);
         ++y) {
      for (int x = std::max(cx - kSearchHalfSize, 0); x <= std::min(cx + kSearchHalfSize, frame.width - 1);
           ++x) {
        claimed[static_cast<std::size_t>(y) * frame.width + x] = true;
      }
    }
  };
  while (static_cast<int>(stars.size()) < count) {
    double bestSum = -1;
    Peak best;
    for (std::size_t i = 0; i < size; ++i) {
      if (!claimed[i] && sums[i] > bestSum) {
        bestSum = sums[i];
        best = {static_cast<int>(i % static_cast<std::size_t>(frame.width)),
                static_cast<int>(i / static_cast<std::size_t>(frame.width))};
      }
    }
    if (bestSum < 0) break;
    claim(best.x, best.y);
    const Centroid star = findStarNear(frame, best.x, best.y, noise);
    const bool again = std::any_of(stars.begin(), stars.end(), [&star](const Centroid& s) {
      return std::abs(star.x - s.x) <= kSearchHalfSize && std::abs(star.y - s.y) <= kSearchHalfSize;
    });
    if (!again) {
      stars.push_back(star);
      claim(static_cast<int>(std::nearbyint(std::clamp(star.x, 0.0, frame.width - 1.0))),
            static_cast<int>(std::nearbyint(std::clamp(star.y, 0.0, frame.height - 1.0))));
    }
  }
  return stars;
}

}  // namespace nebulor::stars
