#include "stars/Defects.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace nebulor::stars::detail {
namespace {

constexpr double kSharpnessMargin = 1.5;
constexpr int kDefectPasses = 4;

// Means of the four pairs of opposite neighbours of an inner pixel.
std::array<double, 4> pairMeans(const Region& region, int x, int y) {
  return {(region.at(x - 1, y) + region.at(x + 1, y)) / 2.0,
          (region.at(x, y - 1) + region.at(x, y + 1)) / 2.0,
          (region.at(x - 1, y - 1) + region.at(x + 1, y + 1)) / 2.0,
          (region.at(x + 1, y - 1) + region.at(x - 1, y + 1)) / 2.0};
}

// One pass of cleanDefects; returns how many it replaced.
int removeDefects(Region& region, const Box& box, const Background& background, double gain,
                  double sharpness) {
  const int x0 = std::max(box.x0, region.x0() + 1), x1 = std::min(box.x1, region.x1() - 1);
  const int y0 = std::max(box.y0, region.y0() + 1), y1 = std::min(box.y1, region.y1() - 1);
  const double floorLevel = background.level + kDefectInNoise * background.noise;
  struct Replacement {
    int x, y;
    float value;
  };
  std::vector<Replacement> replacements;
  for (int y = y0; y <= y1; ++y) {
    const float* pixels = region.from(x0, y);
    for (int x = x0; x <= x1; ++x) {
      const float v = pixels[x - x0];
      if (!(v > floorLevel)) continue;
      std::array<double, 4> pairs = pairMeans(region, x, y);
      const double across = *std::min_element(pairs.begin(), pairs.end()) - background.level;
      const double excess = v - background.level;
      const double noise = std::sqrt(background.noise * background.noise + std::max(excess, 0.0) / gain);
      if (excess - sharpness * std::max(across, 0.0) <= kDefectInNoise * noise) continue;
      std::sort(pairs.begin(), pairs.end());
      replacements.push_back({x, y, static_cast<float>((pairs[1] + pairs[2]) / 2)});
    }
  }
  for (const Replacement& r : replacements) region.replaceDefect(r.x, r.y, r.value);
  return static_cast<int>(replacements.size());
}

}  // namespace

// How far a pixel of a star image of width sigma, centred on a pixel, can
// stand above the mean of a pair of its opposite neighbours (the diagonal
// pair at the peak), with a margin: (centre / corner - 1) * 1.5 + 1.
double sharpnessLimit(double sigma) {
  const double ratio = pixelShare(0, sigma) / pixelShare(1, sigma);
  return 1.0 + kSharpnessMargin * (ratio * ratio - 1.0);
}

void cleanDefects(Region& region, const Box& box, const Background& background, double gain,
                  double sharpness) {
  for (int pass = 0; pass < kDefectPasses; ++pass) {
    if (removeDefects(region, box, background, gain, sharpness) == 0) return;
  }
}

// The defect test's limit once the star is located: the sharpness of the
// star's own central pixel (its sharpest), or that of a Gaussian image of the
// fitted width if more, with a margin; never above the first pass's limit.
double starSharpness(const Region& region, const Star& star, const Background& local) {
  const int cx = static_cast<int>(std::nearbyint(star.x)), cy = static_cast<int>(std::nearbyint(star.y));
  const double first = sharpnessLimit(kSharpestSigma);
  if (cx <= region.x0() || cy <= region.y0() || cx >= region.x1() || cy >= region.y1()) return first;
  const std::array<double, 4> pairs = pairMeans(region, cx, cy);
  const double across = *std::min_element(pairs.begin(), pairs.end()) - local.level;
  const double height = region.at(cx, cy) - local.level;
  const double measured = across > 0 && height > across ? height / across : first;
  return std::min(first, std::max(sharpnessLimit(std::max(star.sigma, kSharpestSigma)),
                                  1.0 + kSharpnessMargin * (measured - 1.0)));
}

}  // namespace nebulor::stars::detail
