#include "stars/GaussianFit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "stars/BackgroundPlane.h"
#include "stars/Companion.h"
#include "stars/Defects.h"
#include "stars/FitSums.h"
#include "stars/LinearSolve.h"
#include "stars/OutlierMask.h"

namespace nebulor::stars::detail {
namespace {

constexpr int kMaskings = 4;
constexpr double kQuantisationVariance = 1.0 / 12.0;
constexpr int kMaxIterations = 25;
// The fit stops when its position step is a tenth of its own error: the
// steps shrink quadratically, so what is left after that is far smaller.
constexpr double kConvergenceInError = 0.1;
constexpr double kSigmaConvergence = 0.01;

}  // namespace

FitResult fitStar(Region& region, Star star, const NoiseModel& noise) {
  const double minimumNoise = std::sqrt(std::pow(noise.readNoise / noise.gain, 2) + kQuantisationVariance);
  Plane plane = fitPlane(region, star, minimumNoise);
  double planeSigma = star.sigma;
  bool widthChecked = false;
  int maskings = 0;
  Sums sums;
  CompanionSeed seed;
  for (int round = 0; round < 2; ++round) {
    for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
      sums = accumulate(region, star, plane, noise.gain);
      std::array<double, 4> step = sums.gradient;
      if (!solve(sums.fisher, step)) break;
      const Star before = star;
      star.x += std::clamp(step[0], -1.0, 1.0);
      star.y += std::clamp(step[1], -1.0, 1.0);
      star.flux += step[2];
      star.sigma = std::clamp(star.sigma + step[3], std::max(kMinSigma, star.sigma / 1.5),
                              std::min(kMaxSigma, star.sigma * 1.5));
      if (!(star.flux > 0) || !std::isfinite(star.x) || !std::isfinite(star.y)) {
        star = before;  // nothing star-like to fit: keep the last estimate
        break;
      }
      // A hot pixel on a broad star's wing passes the first defect test; the
      // measured width sharpens it once the fit has settled near the star.
      if (!widthChecked && std::abs(star.sigma - before.sigma) < 0.05 * before.sigma) {
        widthChecked = true;
        const Background local{plane.at(star.x, star.y), plane.noise};
        const double reach = kFitRadiusInSigma * star.sigma + 1;
        const Box disc{static_cast<int>(star.x - reach), static_cast<int>(star.y - reach),
                       static_cast<int>(star.x + reach) + 1, static_cast<int>(star.y + reach) + 1};
        cleanDefects(region, disc, local, noise.gain, starSharpness(region, star, local));
        region.leaveOutDefects();
      }
      // The plane is fitted again when the star moved off its centre, or when
      // the fit would reach into its annulus (or the annulus lies that much
      // further out than it need).
      const bool moved = std::hypot(star.x - plane.x, star.y - plane.y) > 0.5 ||
                         std::abs(annulusInner(star.sigma) - annulusInner(planeSigma)) > kAnnulusGap;
      if (moved) {
        plane = fitPlane(region, star, minimumNoise);
        planeSigma = star.sigma;
      }
      // Each masking lets the fit move off what it masked, which may show more.
      if (!moved && widthChecked && maskings < kMaskings && std::abs(step[0]) < 0.01 &&
          std::abs(step[1]) < 0.01) {
        ++maskings;
        if (maskOutliers(region, star, plane, noise.gain, seed) > 0) continue;
        maskings = kMaskings;
      }
      const double tolerance = kConvergenceInError * positionError(sums.fisher);
      if (!moved && std::abs(step[0]) < tolerance && std::abs(step[1]) < tolerance &&
          std::abs(step[3]) < kSigmaConvergence) {
        break;  // the last sums hold for a step this small
      }
    }
    // A companion's light that no mask can catch (its wing across the
    // star's core) is taken off as its fitted image; then the star is fitted
    // again, masks and all.
    if (round > 0 || !seed.found) break;
    const std::optional<Star> companion = fitCompanion(region, star, plane, seed, noise.gain);
    if (!companion) break;
    region.unmaskWithout([&](int x, int y) { return imageLight(*companion, x, y); });
    maskings = 0;
    seed = {};
  }
  FitResult result;
  result.star = star;
  result.score = sums.matched > 0 ? sums.signal / std::sqrt(sums.matched) : 0.0;
  result.error = positionError(sums.fisher);
  result.saturated = sums.saturated;
  const double reach = 3 * star.sigma;
  result.cut = star.x - reach < region.x0() || star.y - reach < region.y0() || star.x + reach > region.x1() ||
               star.y + reach > region.y1();
  return result;
}

}  // namespace nebulor::stars::detail
