#include "stars/StarPair.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/NumberText.h"

namespace nebulor::stars {

namespace {

// Peaks looked at: the pair, brighter stars, and hot pixels brighter than the
// pair (the peak search sums 3 x 3 pixels, which a single hot pixel can win).
constexpr int kCandidates = 100;
// Flux is summed within this radius of the centroid, over the median of an
// annulus beyond it.
constexpr double kApertureRadius = 6;
constexpr double kAnnulusInner = 8;
constexpr double kAnnulusOuter = 11;
// The two holes pass the same light: their images differ only by the mask's
// tolerances and the scintillation of the moment.
constexpr double kMaxFluxRatio = 3;
// A star image spreads its light over several pixels, even one sharper than
// the diffraction of a small hole; a hot pixel or a cosmic ray puts most of
// it in one.
constexpr double kMaxPeakShare = 0.5;
// Which separation a mask gives depends on its prism or on the defocus, which
// Nebulor is not told. Seen on the sky, DIMM pairs lie some ten arcseconds to
// two arcminutes apart; and the measurement needs the images clear of each
// other's search box.
constexpr double kMinSeparationArcsec = 10;
constexpr double kMaxSeparationArcsec = 120;
constexpr double kMinSeparationPixels = 16;
constexpr double kArcsecPerRadian = 206264.806;

struct Candidate {
  Centroid star;
  double flux = 0;
};

struct Photometry {
  double flux = 0;
  double peakShare = 1;  // brightest pixel's share of the flux
};

Photometry photometry(const Frame& frame, double cx, double cy) {
  const int reach = static_cast<int>(std::ceil(kAnnulusOuter));
  const int x0 = std::max(static_cast<int>(cx) - reach, 0);
  const int x1 = std::min(static_cast<int>(cx) + reach, frame.width - 1);
  const int y0 = std::max(static_cast<int>(cy) - reach, 0);
  const int y1 = std::min(static_cast<int>(cy) + reach, frame.height - 1);
  std::vector<double> sky;
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      const double r2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
      if (r2 >= kAnnulusInner * kAnnulusInner && r2 <= kAnnulusOuter * kAnnulusOuter) {
        sky.push_back(frame.at(x, y));
      }
    }
  }
  if (sky.empty()) return {};
  const auto middle = sky.begin() + static_cast<std::ptrdiff_t>(sky.size() / 2);
  std::nth_element(sky.begin(), middle, sky.end());
  const double level = *middle;

  Photometry result;
  double peak = 0;
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      if ((x - cx) * (x - cx) + (y - cy) * (y - cy) > kApertureRadius * kApertureRadius) continue;
      const double signal = frame.at(x, y) - level;
      result.flux += signal;
      peak = std::max(peak, signal);
    }
  }
  if (result.flux > 0) result.peakShare = peak / result.flux;
  return result;
}

std::vector<Candidate> starImages(const Frame& frame) {
  std::vector<Candidate> candidates;
  for (const Centroid& star : findBrightestStars(frame, kCandidates)) {
    if (star.status == StarStatus::faint || star.status == StarStatus::outsideFrame) continue;
    const Photometry light = photometry(frame, star.x, star.y);
    if (light.flux <= 0 || light.peakShare > kMaxPeakShare) continue;
    candidates.push_back({star, light.flux});
  }
  std::sort(candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.flux > b.flux; });
  return candidates;
}

bool pairs(const Candidate& brighter, const Candidate& fainter, const SeparationRange& separation) {
  const double distance = std::hypot(brighter.star.x - fainter.star.x, brighter.star.y - fainter.star.y);
  return brighter.flux < kMaxFluxRatio * fainter.flux && distance >= separation.min &&
         distance <= separation.max;
}

}  // namespace

SeparationRange plausibleSeparation(double focalLength, double pixelSize) {
  const double pixelsPerArcsec = focalLength * 1000.0 / pixelSize / kArcsecPerRadian;
  return {std::max(kMinSeparationArcsec * pixelsPerArcsec, kMinSeparationPixels),
          std::max(kMaxSeparationArcsec * pixelsPerArcsec, kMinSeparationPixels)};
}

StarPairChoice chooseStarPair(const Frame& frame, const SeparationRange& separation) {
  const std::vector<Candidate> candidates = starImages(frame);
  if (candidates.empty()) return {std::nullopt, "No star image was found on the full frame."};
  // Brightest first: the first fainter member that has a partner is the
  // brightest possible pair.
  for (std::size_t j = 1; j < candidates.size(); ++j) {
    for (std::size_t i = 0; i < j; ++i) {
      if (!pairs(candidates[i], candidates[j], separation)) continue;
      StarPair pair{{candidates[i].star, candidates[j].star}};
      if (pair.stars[1].x < pair.stars[0].x) std::swap(pair.stars[0], pair.stars[1]);
      return {pair, {}};
    }
  }
  if (candidates.size() == 1) {
    return {std::nullopt, "Only one star image was found on the full frame; the mask gives two."};
  }
  return {std::nullopt, "No pair of star images on the full frame fits the mask: of the " +
                            std::to_string(candidates.size()) +
                            " found, no two are within a factor 3 in brightness and " +
                            singleText(static_cast<float>(std::round(separation.min))) + " to " +
                            singleText(static_cast<float>(std::round(separation.max))) + " pixels apart."};
}

}  // namespace nebulor::stars
