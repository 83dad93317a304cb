#include "stars/BackgroundPlane.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <vector>

#include "stars/LinearSolve.h"
#include "stars/Median.h"

// The plane through the annulus round the star. Each of its eight sectors
// gives its median (robust to a hot pixel or a track); a sector that does not
// fit the plane of the others by 3 of its own noise units (a companion's
// wing, say) is left out, so that it cannot tilt the plane under the star.
// The pixels' RMS about the plane, clipped at 3 sigma, is the noise.
namespace nebulor::stars::detail {
namespace {

constexpr double kClipInNoise = 3.0;
// RMS of a normal variable kept within +-3 sigma, over sigma.
constexpr double kClippedRms = 0.9866;
constexpr std::size_t kSectors = 8;

struct Sector {
  std::size_t first = 0, count = 0;  // its values in `values`
  double dx = 0, dy = 0, level = 0;
  bool used = false;
};

// The annulus's pixel values, one run per sector.
struct Annulus {
  std::array<Sector, kSectors> sectors;
  std::vector<double> values;
};

// The pixels within the outer circle and outside the inner, sorted by sector,
// each sector with the sum of its pixels' offsets from the star.
Annulus gatherAnnulus(const Region& region, const Star& star) {
  const double inner = annulusInner(star.sigma);
  const double outer = inner + kAnnulusWidth;
  Annulus annulus;
  std::array<Sector, kSectors>& sectors = annulus.sectors;
  struct Sample {
    std::size_t octant;
    double v;
  };
  std::vector<Sample> samples;
  samples.reserve(static_cast<std::size_t>(4 * outer * kAnnulusWidth * 4));
  const auto add = [&](int x, double dy, float v) {
    const double dx = x - star.x;
    if (std::isnan(v)) return;
    const std::size_t octant =
        (dy < 0 ? 4u : 0u) + (dx < 0 ? 2u : 0u) + (std::abs(dx) < std::abs(dy) ? 1u : 0u);
    samples.push_back({octant, v});
    sectors[octant].dx += dx;
    sectors[octant].dy += dy;
    ++sectors[octant].count;
  };
  // Row by row.
  for (int y = std::max(static_cast<int>(std::ceil(star.y - outer)), region.y0());
       y <= std::min(static_cast<int>(std::floor(star.y + outer)), region.y1()); ++y) {
    const double dy = y - star.y;
    const double outerHalf = std::sqrt(std::max(outer * outer - dy * dy, 0.0));
    const double innerHalf = dy * dy <= inner * inner ? std::sqrt(inner * inner - dy * dy) : -1.0;
    const int left = std::max(static_cast<int>(std::ceil(star.x - outerHalf)), region.x0());
    const int right = std::min(static_cast<int>(std::floor(star.x + outerHalf)), region.x1());
    const float* pixels = region.from(left, y);
    for (int x = left; x <= right; ++x) {
      if (std::abs(x - star.x) > innerHalf) add(x, dy, pixels[x - left]);
    }
  }
  annulus.values.resize(samples.size());
  std::array<std::size_t, kSectors> next{};
  for (std::size_t k = 0, start = 0; k < kSectors; start += sectors[k].count, ++k) {
    sectors[k].first = start;
    next[k] = start;
  }
  for (const Sample& sample : samples) annulus.values[next[sample.octant]++] = sample.v;
  return annulus;
}

// Each sector of three pixels or more gets its median level and its mean
// offset, and is used. The noise of one pixel from the spread within those
// sectors; none when no sector is used.
std::optional<double> levelSectors(Annulus& annulus) {
  double noise = 0;
  std::size_t pixels = 0;
  for (Sector& sector : annulus.sectors) {
    if (sector.count < 3) continue;
    const double n = static_cast<double>(sector.count);
    sector.dx /= n;
    sector.dy /= n;
    const auto begin = annulus.values.begin() + static_cast<std::ptrdiff_t>(sector.first);
    sector.level = median(&*begin, sector.count);
    sector.used = true;
    for (auto v = begin; v != begin + static_cast<std::ptrdiff_t>(sector.count); ++v) {
      noise += (*v - sector.level) * (*v - sector.level);
    }
    pixels += sector.count;
  }
  if (pixels == 0) return std::nullopt;
  return std::sqrt(noise / static_cast<double>(pixels));
}

// The plane through the used sectors' levels, fitted again without the
// sectors that do not fit it.
void fitLevels(std::array<Sector, kSectors>& sectors, double noise, Plane& plane) {
  for (int pass = 0; pass < 2; ++pass) {
    std::array<std::array<double, 3>, 3> normal{};
    std::array<double, 3> right{};
    for (const Sector& sector : sectors) {
      if (!sector.used) continue;
      const std::array<double, 3> basis{1.0, sector.dx, sector.dy};
      for (std::size_t i = 0; i < 3; ++i) {
        right[i] += basis[i] * sector.level;
        for (std::size_t j = 0; j < 3; ++j) normal[i][j] += basis[i] * basis[j];
      }
    }
    if (normal[0][0] < 4 || !solve(normal, right)) {
      // Too few sectors to tilt (a corner of the frame): a level alone.
      if (normal[0][0] <= 0) break;
      right = {right[0] / normal[0][0], 0, 0};
    }
    plane.level = right[0];
    plane.slopeX = right[1];
    plane.slopeY = right[2];
    bool dropped = false;
    for (Sector& sector : sectors) {
      if (!sector.used) continue;
      const double tolerance = kClipInNoise * 1.25 * noise / std::sqrt(static_cast<double>(sector.count));
      if (std::abs(sector.level - plane.at(plane.x + sector.dx, plane.y + sector.dy)) > tolerance) {
        sector.used = false;
        dropped = true;
      }
    }
    if (!dropped) break;
  }
}

// The RMS of the annulus's pixels about the plane, clipped at 3 sigma and
// corrected for the clipping.
double clippedNoise(const Annulus& annulus, const Plane& plane) {
  double noise = 0;
  double limit = std::numeric_limits<double>::infinity();
  for (int pass = 0; pass < 2; ++pass) {
    double sum2 = 0;
    std::size_t kept = 0;
    for (const Sector& sector : annulus.sectors) {
      for (std::size_t i = sector.first; i < sector.first + sector.count; ++i) {
        const double v = annulus.values[i];
        // Sector values lost their positions to the median: the sector's
        // mean position stands for them (the plane varies little within one).
        const double r = v - plane.at(plane.x + sector.dx, plane.y + sector.dy);
        if (std::abs(r) > limit) continue;
        sum2 += r * r;
        ++kept;
      }
    }
    const double rms = kept > 0 ? std::sqrt(sum2 / static_cast<double>(kept)) : 0.0;
    noise = pass == 0 ? rms : rms / kClippedRms;
    limit = kClipInNoise * std::max(rms, kMinimumNoise);
  }
  return noise;
}

}  // namespace

Plane fitPlane(const Region& region, const Star& star, double minimumNoise) {
  Annulus annulus = gatherAnnulus(region, star);
  Plane plane;
  plane.x = star.x;
  plane.y = star.y;
  const std::optional<double> noise = levelSectors(annulus);
  if (!noise) return plane;
  fitLevels(annulus.sectors, *noise, plane);
  const double clipped = clippedNoise(annulus, plane);
  plane.noise = std::sqrt(std::max(clipped * clipped, minimumNoise * minimumNoise));
  return plane;
}

}  // namespace nebulor::stars::detail
