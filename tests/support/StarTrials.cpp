#include "support/StarTrials.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace nebulor::test {
namespace {

constexpr int kSide = 64;
constexpr double kHotPixelCounts = 2000;
constexpr double kCompanionShare = 0.1;
// Highest star peak the 16-bit converter should see, counts above the bias.
constexpr double kPeakCounts = 40000;

}  // namespace

StarScene trialScene(const Condition& condition) {
  StarScene scene;
  scene.width = scene.height = kSide;
  scene.psf = condition.psf;
  scene.sigma = condition.sigma;
  scene.stars = {{kSide / 2.0, kSide / 2.0, 0}};
  // A gain that keeps the brightest stars below full scale.
  const double peakSnr2 = condition.peakSnr * condition.peakSnr;
  scene.gain = std::max(1.0, std::round(peakSnr2 / kPeakCounts));
  scene.stars[0].flux = fluxForPeakSnr(scene, condition.peakSnr);
  return scene;
}

std::vector<TrialFrame> makeTrialFrames(const Condition& condition, int frames, std::uint64_t seed) {
  const StarScene base = trialScene(condition);
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<TrialFrame> result;
  for (int i = 0; i < frames; ++i) {
    StarScene scene = base;
    scene.stars[0].x += unit(random) - 0.5;
    scene.stars[0].y += unit(random) - 0.5;
    const TrueStar star = scene.stars[0];
    const double angle = 2 * std::numbers::pi * unit(random);
    const double c = std::cos(angle), s = std::sin(angle);
    switch (condition.nuisance) {
      case Nuisance::none:
        break;
      case Nuisance::hotPixel: {
        const double distance = 4 + 4 * unit(random);
        scene.hotPixels = {{static_cast<int>(std::nearbyint(star.x + distance * c)),
                            static_cast<int>(std::nearbyint(star.y + distance * s)), kHotPixelCounts}};
        break;
      }
      case Nuisance::cosmicRay: {
        // Passing 2 to 6 px from the star, 4 to 12 px long, at any angle.
        const double miss = 2 + 4 * unit(random);
        const double length = 4 + 8 * unit(random);
        const double along = 2 * std::numbers::pi * unit(random);
        const double cx = star.x + miss * c, cy = star.y + miss * s;
        const double half = length / 2;
        scene.tracks = {{cx - half * std::cos(along), cy - half * std::sin(along),
                         cx + half * std::cos(along), cy + half * std::sin(along),
                         1000 + 2000 * unit(random)}};
        break;
      }
      case Nuisance::companion: {
        const double distance = 6 + 4 * unit(random);
        scene.stars.push_back({star.x + distance * c, star.y + distance * s, kCompanionShare * star.flux});
        break;
      }
    }
    TrialFrame frame{renderFrame(scene, random), scene.noiseModel(), star, 0, 0};
    if (condition.nuisance == Nuisance::companion) {
      frame.towardsNuisanceX = c;
      frame.towardsNuisanceY = s;
    }
    result.push_back(std::move(frame));
  }
  return result;
}

TrialStatistics measureTrials(const Condition& condition, int frames, std::uint64_t seed) {
  TrialStatistics stats;
  double sum2 = 0, errorSum = 0, biasSum = 0;
  for (const TrialFrame& trial : makeTrialFrames(condition, frames, seed)) {
    const stars::Centroid c =
        stars::findStarNear(trial.frame, trial.truth.x + 2, trial.truth.y - 1, trial.noise);
    if (!c.clean()) {
      ++stats.failures;
      continue;
    }
    const double dx = c.x - trial.truth.x, dy = c.y - trial.truth.y;
    sum2 += dx * dx + dy * dy;
    errorSum += c.error;
    biasSum += dx * trial.towardsNuisanceX + dy * trial.towardsNuisanceY;
    ++stats.frames;
  }
  if (stats.frames > 0) {
    stats.rms = std::sqrt(sum2 / (2.0 * stats.frames));
    stats.meanError = errorSum / stats.frames;
    stats.bias = biasSum / stats.frames;
  }
  stats.bound = cramerRaoBound(trialScene(condition));
  return stats;
}

}  // namespace nebulor::test
