#include "stars/StarFinder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <functional>
#include <limits>
#include <numbers>
#include <optional>

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
namespace nebulor::stars {
namespace {

// The search box reaches this far from the requested point: enough for a
// click a few pixels off or a reading's worth of drift and image motion,
// short of the second star image about 40 pixels away.
constexpr int kSearchHalfSize = 12;
// Star widths (Gaussian sigma, px) the fit may take: from the sharpest image
// a pixel grid can show to a broad, badly focused one whose annulus still
// fits the copied region.
constexpr double kMinSigma = 0.5;
constexpr double kMaxSigma = 4.0;
constexpr double kSharpestSigma = 0.6;
constexpr double kSharpnessMargin = 1.5;
constexpr double kDefectInNoise = 5.0;
constexpr int kDefectPasses = 4;
constexpr int kMaskings = 4;
// How far a real star image may differ from the Gaussian model (a Moffat
// core and wings, say): a share of the model where the pixel is, plus a
// share of the model's peak.
constexpr double kModelMismatch = 0.5;
constexpr double kWingMismatch = 0.06;
// A pixel above its mirror point by this many noise units of the difference
// holds light that is not the star's.
constexpr double kAsymmetryInNoise = 4.0;
// Such light further than this from the star's centre may be a companion,
// fitted from the pixels within this of its brightest, in a few passes.
constexpr double kCompanionInSigma = 2.5;
constexpr double kCompanionFitInSigma = 2.0;
constexpr int kCompanionIterations = 8;
// The fit reads pixels out to 4 sigma + 1, the annulus out to 4 sigma + 7.
constexpr double kFitRadiusInSigma = 4.0;
constexpr double kAnnulusGap = 1.0;
constexpr double kAnnulusWidth = 5.0;
constexpr int kRegionHalfSize =
    kSearchHalfSize + static_cast<int>(kFitRadiusInSigma * kMaxSigma + 1 + kAnnulusGap + kAnnulusWidth) + 1;
constexpr double kStartRadius = 6.0;
constexpr double kStartThresholdInNoise = 3.0;
constexpr double kClipInNoise = 3.0;
// RMS of a normal variable kept within +-3 sigma, over sigma.
constexpr double kClippedRms = 0.9866;
// A flat border (synthetic or clipped data) still needs a noise unit: one
// count, the quantisation step.
constexpr double kMinimumNoise = 1.0;
constexpr double kQuantisationVariance = 1.0 / 12.0;
constexpr int kMaxIterations = 25;
// The fit stops when its position step is a tenth of its own error: the
// steps shrink quadratically, so what is left after that is far smaller.
constexpr double kConvergenceInError = 0.1;
constexpr double kSigmaConvergence = 0.01;
constexpr float kFullScale = 65535.0F;
// Median absolute deviation to standard deviation for Gaussian noise.
constexpr double kMadToSigma = 1.4826;

bool usable(const Frame& frame) {
  return frame.width > 0 && frame.height > 0 &&
         frame.pixels.size() >= static_cast<std::size_t>(frame.width) * frame.height;
}

// The frame's pixels round the requested point, copied as floats, so that
// defects can be replaced and pixels left out (NaN) without touching the
// caller's frame. Frame coordinates.
class Region {
 public:
  Region(const Frame& frame, int cx, int cy, int half)
      : x0_(std::max(cx - half, 0)),
        y0_(std::max(cy - half, 0)),
        x1_(std::min(cx + half, frame.width - 1)),
        y1_(std::min(cy + half, frame.height - 1)),
        width_(x1_ - x0_ + 1),
        pixels_(static_cast<std::size_t>(width_) * (y1_ - y0_ + 1)) {
    float* to = pixels_.data();
    for (int y = y0_; y <= y1_; ++y, to += width_) {
      const std::uint16_t* from = &frame.pixels[static_cast<std::size_t>(y) * frame.width + x0_];
      int x = 0;
      // In blocks of eight, which the compiler turns into vector instructions.
      for (; x + 8 <= width_; x += 8) {
        for (int k = 0; k < 8; ++k) to[x + k] = from[x + k];
      }
      for (; x < width_; ++x) to[x] = from[x];
    }
  }

  int x0() const { return x0_; }
  int y0() const { return y0_; }
  int x1() const { return x1_; }
  int y1() const { return y1_; }
  float at(int x, int y) const { return pixels_[index(x, y)]; }
  void set(int x, int y, float value) { pixels_[index(x, y)] = value; }
  // A defect's pixel gets a stand-in value for the peak search and start;
  // the fit leaves it out, as it does a pixel it masks.
  void replaceDefect(int x, int y, float value) {
    set(x, y, value);
    defects_.push_back(index(x, y));
  }
  // Leaves a pixel out of the fit, keeping its value for a companion's fit.
  void mask(int x, int y) {
    if (unmasked_.empty()) unmasked_ = pixels_;
    pixels_[index(x, y)] = std::numeric_limits<float>::quiet_NaN();
  }
  float unmaskedAt(int x, int y) const { return unmasked_.empty() ? at(x, y) : unmasked_[index(x, y)]; }
  // Puts the masked pixels back, with `light(x, y)` taken off every pixel.
  template <typename Light>
  void unmaskWithout(const Light& light) {
    if (!unmasked_.empty()) pixels_ = unmasked_;
    unmasked_.clear();
    for (int y = y0_; y <= y1_; ++y) {
      for (int x = x0_; x <= x1_; ++x) pixels_[index(x, y)] -= static_cast<float>(light(x, y));
    }
  }
  void leaveOutDefects() {
    for (std::size_t i : defects_) pixels_[i] = std::numeric_limits<float>::quiet_NaN();
  }
  // Pixel (x, y) and those to its right on the same row.
  const float* from(int x, int y) const { return &pixels_[index(x, y)]; }

 private:
  std::size_t index(int x, int y) const { return static_cast<std::size_t>(y - y0_) * width_ + (x - x0_); }

  int x0_, y0_, x1_, y1_, width_;
  std::vector<float> pixels_;
  std::vector<std::size_t> defects_;
  std::vector<float> unmasked_;  // the pixels before the first mask
};

struct Box {
  int x0, y0, x1, y1;  // inclusive
};

struct Background {
  double level = 0;
  double noise = kMinimumNoise;
};

// The value with count / 2 values below it, reordering the values:
// quickselect whose partitions swap without branching. On the few dozen
// unordered values of a sky sample std::nth_element mispredicts half its
// branches and took a fifth of the finder's time.
double median(double* values, std::size_t count) {
  const std::size_t k = count / 2;
  std::size_t lo = 0, hi = count - 1;
  while (lo < hi) {
    std::swap(values[lo + (hi - lo) / 2], values[hi]);
    const double pivot = values[hi];
    // [lo, below) below the pivot, then [below, equal) equal to it.
    std::size_t below = lo;
    for (std::size_t i = lo; i < hi; ++i) {
      const double v = values[i];
      values[i] = values[below];
      values[below] = v;
      below += v < pivot ? 1 : 0;
    }
    std::size_t equal = below;
    for (std::size_t i = below; i < hi; ++i) {
      const double v = values[i];
      values[i] = values[equal];
      values[equal] = v;
      equal += v == pivot ? 1 : 0;
    }
    std::swap(values[equal], values[hi]);
    if (k < below)
      hi = below - 1;
    else if (k > equal)
      lo = equal + 1;
    else
      return pivot;
  }
  return values[k];
}

double median(std::vector<double>& values) { return median(values.data(), values.size()); }

// Robust level and noise of the box's border pixels: the star image rarely
// touches the border, and the median ignores it when it does.
Background borderBackground(const Region& region, const Box& box) {
  std::vector<double> values;
  values.reserve(static_cast<std::size_t>(2 * (box.x1 - box.x0 + box.y1 - box.y0 + 2)));
  for (int x = box.x0; x <= box.x1; ++x) {
    values.push_back(region.at(x, box.y0));
    if (box.y1 != box.y0) values.push_back(region.at(x, box.y1));
  }
  for (int y = box.y0 + 1; y < box.y1; ++y) {
    values.push_back(region.at(box.x0, y));
    if (box.x1 != box.x0) values.push_back(region.at(box.x1, y));
  }
  Background result;
  result.level = median(values);
  for (double& v : values) v = std::abs(v - result.level);
  result.noise = std::max(kMadToSigma * median(values), kMinimumNoise);
  return result;
}

// Share of a unit Gaussian of width sigma centred at 0 that falls on the
// pixel [offset - 1/2, offset + 1/2).
double pixelShare(double offset, double sigma) {
  const double scale = 1.0 / (sigma * std::numbers::sqrt2);
  return 0.5 * (std::erf((offset + 0.5) * scale) - std::erf((offset - 0.5) * scale));
}

// How far a pixel of a star image of width sigma, centred on a pixel, can
// stand above the mean of a pair of its opposite neighbours (the diagonal
// pair at the peak), with a margin: (centre / corner - 1) * 1.5 + 1.
double sharpnessLimit(double sigma) {
  const double ratio = pixelShare(0, sigma) / pixelShare(1, sigma);
  return 1.0 + kSharpnessMargin * (ratio * ratio - 1.0);
}

// Means of the four pairs of opposite neighbours of an inner pixel.
std::array<double, 4> pairMeans(const Region& region, int x, int y) {
  return {(region.at(x - 1, y) + region.at(x + 1, y)) / 2.0,
          (region.at(x, y - 1) + region.at(x, y + 1)) / 2.0,
          (region.at(x - 1, y - 1) + region.at(x + 1, y + 1)) / 2.0,
          (region.at(x + 1, y - 1) + region.at(x - 1, y + 1)) / 2.0};
}

// Replaces hot pixels and cosmic-ray hits inside `box` (see the comment at
// the top); returns how many.
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

// Repeated while it finds any (a few passes at most): a track pixel with
// bright neighbours across it shows once those are gone.
void cleanDefects(Region& region, const Box& box, const Background& background, double gain,
                  double sharpness) {
  for (int pass = 0; pass < kDefectPasses; ++pass) {
    if (removeDefects(region, box, background, gain, sharpness) == 0) return;
  }
}

struct Peak {
  int x = 0;
  int y = 0;
};

// The centre of the largest 3 x 3 sum in the box (sums clipped to the
// region), from column sums of three rows.
Peak brightestNeighbourhood(const Region& region, const Box& box) {
  const int left = std::max(box.x0 - 1, region.x0()), right = std::min(box.x1 + 1, region.x1());
  const auto count = static_cast<std::size_t>(right - left + 1);
  std::vector<double> columns(count);
  Peak best{box.x0, box.y0};
  double bestSum = -1;
  for (int y = box.y0; y <= box.y1; ++y) {
    // A row off the region counts as empty: the middle row again, weighted 0.
    const float* middle = region.from(left, y);
    const float* above = y > region.y0() ? region.from(left, y - 1) : middle;
    const float* below = y < region.y1() ? region.from(left, y + 1) : middle;
    const double aboveWeight = y > region.y0() ? 1.0 : 0.0, belowWeight = y < region.y1() ? 1.0 : 0.0;
    for (std::size_t i = 0; i < count; ++i)
      columns[i] = middle[i] + aboveWeight * above[i] + belowWeight * below[i];
    for (int x = box.x0; x <= box.x1; ++x) {
      const auto i = static_cast<std::size_t>(x - left);
      const double sum = columns[i] + (x > left ? columns[i - 1] : 0.0) + (x < right ? columns[i + 1] : 0.0);
      if (sum > bestSum) {
        bestSum = sum;
        best = {x, y};
      }
    }
  }
  return best;
}

// The fit's running estimate of the star, frame coordinates.
struct Star {
  double x = 0;
  double y = 0;
  double flux = 0;  // counts above the background
  double sigma = 1;
};

// First and second moments of the pixels above the threshold near the peak:
// the start of the fit.
bool thresholdedStart(const Region& region, const Peak& peak, const Background& background, Star& star) {
  const double floorLevel = background.level + kStartThresholdInNoise * background.noise;
  double sumW = 0, sumX = 0, sumY = 0, sumR2 = 0, flux = 0;
  const int reach = static_cast<int>(kStartRadius);
  for (int y = std::max(peak.y - reach, region.y0()); y <= std::min(peak.y + reach, region.y1()); ++y) {
    for (int x = std::max(peak.x - reach, region.x0()); x <= std::min(peak.x + reach, region.x1()); ++x) {
      const double dx = x - peak.x, dy = y - peak.y;
      if (dx * dx + dy * dy > kStartRadius * kStartRadius) continue;
      const double v = region.at(x, y);
      flux += v - background.level;
      if (!(v > floorLevel)) continue;
      const double w = v - background.level;
      sumW += w;
      sumX += w * dx;
      sumY += w * dy;
      sumR2 += w * (dx * dx + dy * dy);
    }
  }
  if (sumW <= 0) return false;
  const double mx = sumX / sumW, my = sumY / sumW;
  star.x = peak.x + mx;
  star.y = peak.y + my;
  // The threshold cuts the wings: the moments understate the width a little,
  // which the fit corrects.
  const double variance = std::max(sumR2 / sumW - mx * mx - my * my, 0.0) / 2.0;
  star.sigma = std::clamp(std::sqrt(variance + 1.0 / 12.0), kMinSigma, kMaxSigma);
  star.flux = std::max(flux, sumW);
  return true;
}

struct Plane {
  double level = 0;  // at (x, y) of the star it was fitted round
  double slopeX = 0;
  double slopeY = 0;
  double noise = kMinimumNoise;
  double x = 0, y = 0;
  double at(double px, double py) const { return level + slopeX * (px - x) + slopeY * (py - y); }
};

double annulusInner(double sigma) { return kFitRadiusInSigma * sigma + 1 + kAnnulusGap; }

// Solves the symmetric system a x = b in place (Gaussian elimination with
// partial pivoting); false when it is singular.
template <std::size_t N>
bool solve(std::array<std::array<double, N>, N> a, std::array<double, N>& b) {
  for (std::size_t col = 0; col < N; ++col) {
    std::size_t pivot = col;
    for (std::size_t row = col + 1; row < N; ++row) {
      if (std::abs(a[row][col]) > std::abs(a[pivot][col])) pivot = row;
    }
    if (!(std::abs(a[pivot][col]) > 0)) return false;
    std::swap(a[col], a[pivot]);
    std::swap(b[col], b[pivot]);
    for (std::size_t row = col + 1; row < N; ++row) {
      const double factor = a[row][col] / a[col][col];
      for (std::size_t k = col; k < N; ++k) a[row][k] -= factor * a[col][k];
      b[row] -= factor * b[col];
    }
  }
  for (std::size_t col = N; col-- > 0;) {
    for (std::size_t k = col + 1; k < N; ++k) b[col] -= a[col][k] * b[k];
    b[col] /= a[col][col];
  }
  return true;
}

// The plane through the annulus round the star. Each of its eight sectors
// gives its median (robust to a hot pixel or a track); a sector that does not
// fit the plane of the others by 3 of its own noise units (a companion's
// wing, say) is left out, so that it cannot tilt the plane under the star.
// The pixels' RMS about the plane, clipped at 3 sigma, is the noise.
Plane fitPlane(const Region& region, const Star& star, double minimumNoise) {
  constexpr std::size_t kSectors = 8;
  const double inner = annulusInner(star.sigma);
  const double outer = inner + kAnnulusWidth;
  struct Sector {
    std::size_t first = 0, count = 0;  // its values in `values`
    double dx = 0, dy = 0, level = 0;
    bool used = false;
  };
  std::array<Sector, kSectors> sectors;
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
  // Row by row, the pixels within the outer circle and outside the inner.
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
  // The values sorted into one run per sector.
  std::vector<double> values(samples.size());
  std::array<std::size_t, kSectors> next{};
  for (std::size_t k = 0, start = 0; k < kSectors; start += sectors[k].count, ++k) {
    sectors[k].first = start;
    next[k] = start;
  }
  for (const Sample& sample : samples) values[next[sample.octant]++] = sample.v;
  double noise = 0;  // of one pixel, from the spread within the sectors
  std::size_t pixels = 0;
  for (Sector& sector : sectors) {
    if (sector.count < 3) continue;
    const double n = static_cast<double>(sector.count);
    sector.dx /= n;
    sector.dy /= n;
    const auto begin = values.begin() + static_cast<std::ptrdiff_t>(sector.first);
    sector.level = median(&*begin, sector.count);
    sector.used = true;
    for (auto v = begin; v != begin + static_cast<std::ptrdiff_t>(sector.count); ++v) {
      noise += (*v - sector.level) * (*v - sector.level);
    }
    pixels += sector.count;
  }
  Plane plane;
  plane.x = star.x;
  plane.y = star.y;
  if (pixels == 0) return plane;
  noise = std::sqrt(noise / static_cast<double>(pixels));
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
      if (std::abs(sector.level - plane.at(star.x + sector.dx, star.y + sector.dy)) > tolerance) {
        sector.used = false;
        dropped = true;
      }
    }
    if (!dropped) break;
  }
  double limit = std::numeric_limits<double>::infinity();
  for (int pass = 0; pass < 2; ++pass) {
    double sum2 = 0;
    std::size_t kept = 0;
    for (const Sector& sector : sectors) {
      for (std::size_t i = sector.first; i < sector.first + sector.count; ++i) {
        const double v = values[i];
        // Sector values lost their positions to the median: the sector's
        // mean position stands for them (the plane varies little within one).
        const double r = v - plane.at(star.x + sector.dx, star.y + sector.dy);
        if (std::abs(r) > limit) continue;
        sum2 += r * r;
        ++kept;
      }
    }
    const double rms = kept > 0 ? std::sqrt(sum2 / static_cast<double>(kept)) : 0.0;
    plane.noise = pass == 0 ? rms : rms / kClippedRms;
    limit = kClipInNoise * std::max(rms, kMinimumNoise);
  }
  plane.noise = std::sqrt(std::max(plane.noise * plane.noise, minimumNoise * minimumNoise));
  return plane;
}

// One axis of the pixel-integrated Gaussian round `centre`: each pixel's
// share and its derivatives by the centre and by sigma.
struct AxisProfile {
  static constexpr std::size_t kMaxPixels =
      2 * static_cast<std::size_t>(kFitRadiusInSigma * kMaxSigma + 1) + 2;
  std::array<double, kMaxPixels> share, byCentre, bySigma;  // the first `count` are set

  AxisProfile(double centre, double sigma, int from, int to) {
    const std::size_t count = std::min(static_cast<std::size_t>(std::max(to - from + 1, 0)), kMaxPixels);
    const double scale = 1.0 / (sigma * std::numbers::sqrt2);
    const double density = 1.0 / (sigma * std::sqrt(2.0 * std::numbers::pi));
    double t = from - 0.5 - centre;
    double lowerErf = std::erf(t * scale);
    double lowerPdf = density * std::exp(-0.5 * t * t / (sigma * sigma));
    double lowerT = t;
    for (std::size_t i = 0; i < count; ++i) {
      t = from + static_cast<double>(i) + 0.5 - centre;
      const double upperErf = std::erf(t * scale);
      const double upperPdf = density * std::exp(-0.5 * t * t / (sigma * sigma));
      share[i] = 0.5 * (upperErf - lowerErf);
      byCentre[i] = lowerPdf - upperPdf;
      bySigma[i] = (lowerT * lowerPdf - t * upperPdf) / sigma;
      lowerErf = upperErf;
      lowerPdf = upperPdf;
      lowerT = t;
    }
  }
};

// The pixels the fit reads, within 4 sigma + 1 of the star, and the star's
// profile along each axis over them.
struct FitWindow {
  double radius;
  int x0, x1, y0, y1;
  AxisProfile px, py;

  FitWindow(const Region& region, const Star& star)
      : radius(kFitRadiusInSigma * star.sigma + 1),
        x0(std::max(static_cast<int>(std::ceil(star.x - radius)), region.x0())),
        x1(std::min(static_cast<int>(std::floor(star.x + radius)), region.x1())),
        y0(std::max(static_cast<int>(std::ceil(star.y - radius)), region.y0())),
        y1(std::min(static_cast<int>(std::floor(star.y + radius)), region.y1())),
        px(star.x, star.sigma, x0, x1),
        py(star.y, star.sigma, y0, y1) {}
};

struct FitResult {
  Star star;
  double score = 0;
  double error = 0;
  bool saturated = false;
  bool cut = false;  // part of the star image lies off the frame
};

struct Sums {
  std::array<std::array<double, 4>, 4> fisher{};
  std::array<double, 4> gradient{};
  double matched = 0;  // sum G^2 / V
  double signal = 0;   // sum G d / V
  bool saturated = false;
};

// One pass over the pixels of the fit: the Fisher matrix and the gradient of
// the log-likelihood of (x, y, flux, sigma).
Sums accumulate(const Region& region, const Star& star, const Plane& plane, double gain) {
  Sums sums;
  const FitWindow window(region, star);
  const AxisProfile& px = window.px;
  const AxisProfile& py = window.py;
  const double skyVariance = plane.noise * plane.noise;
  const double perCount = 1.0 / gain;  // a multiplication: the division held up every pixel
  std::array<std::array<double, 4>, 4>& f = sums.fisher;
  for (int y = window.y0; y <= window.y1; ++y) {
    const std::size_t j = static_cast<std::size_t>(y - window.y0);
    const double dy = y - star.y;
    const double reach = window.radius * window.radius - dy * dy;
    if (reach < 0) continue;
    const double half = std::sqrt(reach);
    const int from = std::max(static_cast<int>(std::ceil(star.x - half)), window.x0);
    const int to = std::min(static_cast<int>(std::floor(star.x + half)), window.x1);
    const float* pixels = region.from(window.x0, y);
    for (int x = from; x <= to; ++x) {
      const std::size_t i = static_cast<std::size_t>(x - window.x0);
      const float raw = pixels[i];
      if (std::isnan(raw)) continue;  // masked
      // A saturated pixel says only that the star is bright there: left out.
      if (raw >= kFullScale) {
        sums.saturated = true;
        continue;
      }
      const double g = px.share[i] * py.share[j];
      const double model = star.flux * g;
      const double inverse = 1.0 / (skyVariance + std::max(model, 0.0) * perCount);
      const double data = raw - plane.at(x, y);
      const double j0 = star.flux * px.byCentre[i] * py.share[j],
                   j1 = star.flux * px.share[i] * py.byCentre[j];
      const double j3 = star.flux * (px.bySigma[i] * py.share[j] + px.share[i] * py.bySigma[j]);
      const double w0 = j0 * inverse, w1 = j1 * inverse, w2 = g * inverse, w3 = j3 * inverse;
      const double residual = data - model;
      sums.gradient[0] += w0 * residual;
      sums.gradient[1] += w1 * residual;
      sums.gradient[2] += w2 * residual;
      sums.gradient[3] += w3 * residual;
      // Written out: the compiler leaves the triangular loop rolled.
      f[0][0] += w0 * j0, f[0][1] += w0 * j1, f[0][2] += w0 * g, f[0][3] += w0 * j3;
      f[1][1] += w1 * j1, f[1][2] += w1 * g, f[1][3] += w1 * j3;
      f[2][2] += w2 * g, f[2][3] += w2 * j3;
      f[3][3] += w3 * j3;
      sums.matched += g * w2;
      sums.signal += data * w2;
    }
  }
  for (std::size_t a = 0; a < 4; ++a) {
    for (std::size_t b = 0; b < a; ++b) f[a][b] = f[b][a];
  }
  return sums;
}

double variance(std::array<std::array<double, 4>, 4> fisher, std::size_t parameter) {
  std::array<double, 4> unit{};
  unit[parameter] = 1;
  return solve(fisher, unit) ? unit[parameter] : std::numeric_limits<double>::infinity();
}

// The 1-sigma error of the position: the root mean square of the x and y
// variances, the Cramer-Rao bound of a star of the fitted shape.
double positionError(const std::array<std::array<double, 4>, 4>& fisher) {
  return std::sqrt((variance(fisher, 0) + variance(fisher, 1)) / 2.0);
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

// Leaves out of the fit the pixels far brighter than the fitted star where
// it is faint (a companion's core, the rest of a track), and those that
// break the star's point symmetry: a star image, whatever its profile, is
// symmetric about its centre, so a residual well above the residual at the
// mirror point is light that is not the star's (a track across the core, a
// companion's wing). Such a pixel goes with its mirror pixel, which keeps
// what is left symmetric and the fit of the star's model unbiased.
// Where the strongest light that breaks the star's symmetry lies, away from
// the star's core: a companion, perhaps.
struct CompanionSeed {
  bool found = false;
  int x = 0, y = 0;
  double excess = 0;  // counts above the mirror point
};

int maskOutliers(Region& region, const Star& star, const Plane& plane, double gain, CompanionSeed& seed) {
  const FitWindow window(region, star);
  const double wing = kWingMismatch * star.flux * pixelShare(0, star.sigma) * pixelShare(0, star.sigma);
  const int width = window.x1 - window.x0 + 1, height = window.y1 - window.y0 + 1;
  if (width <= 0 || height <= 0) return 0;
  const auto cell = [&](int x, int y) {
    return static_cast<std::size_t>(y - window.y0) * width + (x - window.x0);
  };
  std::vector<double> residuals(static_cast<std::size_t>(width) * height);
  std::vector<double> models(residuals.size());
  for (int y = window.y0; y <= window.y1; ++y) {
    for (int x = window.x0; x <= window.x1; ++x) {
      const float raw = region.at(x, y);
      const double model = star.flux * window.px.share[static_cast<std::size_t>(x - window.x0)] *
                           window.py.share[static_cast<std::size_t>(y - window.y0)];
      const bool usable = !std::isnan(raw) && raw < kFullScale;
      residuals[cell(x, y)] =
          usable ? raw - plane.at(x, y) - model : std::numeric_limits<double>::quiet_NaN();
      models[cell(x, y)] = model;
    }
  }
  // A value at a point between pixels, bilinear; NaN off the window or next
  // to a pixel already left out.
  const auto interpolate = [&](const std::vector<double>& values, double x, double y) {
    const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    if (ix < window.x0 || iy < window.y0 || ix + 1 > window.x1 || iy + 1 > window.y1)
      return std::numeric_limits<double>::quiet_NaN();
    const double tx = x - ix, ty = y - iy;
    return (1 - ty) * ((1 - tx) * values[cell(ix, iy)] + tx * values[cell(ix + 1, iy)]) +
           ty * ((1 - tx) * values[cell(ix, iy + 1)] + tx * values[cell(ix + 1, iy + 1)]);
  };
  std::vector<std::pair<int, int>> outliers;
  for (int y = window.y0; y <= window.y1; ++y) {
    for (int x = window.x0; x <= window.x1; ++x) {
      const double residual = residuals[cell(x, y)];
      if (std::isnan(residual)) continue;
      const double model = models[cell(x, y)];
      const double noise = std::sqrt(2 * (plane.noise * plane.noise + std::max(model, 0.0) / gain));
      if (residual > kDefectInNoise * noise / std::numbers::sqrt2 + kModelMismatch * model + wing) {
        outliers.emplace_back(x, y);
        continue;
      }
      // The mirror's residual is rarely far below the noise: a pixel within
      // half the limit of the model needs no mirror.
      if (residual < 0.5 * kAsymmetryInNoise * noise) continue;
      const double mx = 2 * star.x - x, my = 2 * star.y - y;
      const double mirrored = interpolate(residuals, mx, my);
      // The model is symmetric: what its interpolation misses at the mirror
      // point, that of the residual may miss too.
      const double missed = std::abs(model - interpolate(models, mx, my));
      const double excess = residual - mirrored - missed;
      if (excess > kAsymmetryInNoise * noise) {
        if (excess > seed.excess && std::hypot(x - star.x, y - star.y) > kCompanionInSigma * star.sigma)
          seed = {true, x, y, excess};
        outliers.emplace_back(x, y);
        outliers.emplace_back(static_cast<int>(std::nearbyint(mx)), static_cast<int>(std::nearbyint(my)));
      }
    }
  }
  int count = 0;
  for (const auto& [x, y] : outliers) {
    if (std::isnan(region.at(x, y))) continue;
    region.mask(x, y);
    ++count;
  }
  return count;
}

// The light of an image of the star's width round (x, y).
double imageLight(const Star& image, double x, double y) {
  return image.flux * pixelShare(x - image.x, image.sigma) * pixelShare(y - image.y, image.sigma);
}

// A companion fitted as an image of the star's width (position and flux) to
// what the star's model leaves near the seed, masked pixels included; none
// when the fit fails or wanders off the seed.
std::optional<Star> fitCompanion(const Region& region, const Star& star, const Plane& plane,
                                 const CompanionSeed& seed, double gain) {
  Region rest = region;
  const double reach = kCompanionFitInSigma * star.sigma + 2;
  for (int y = rest.y0(); y <= rest.y1(); ++y) {
    for (int x = rest.x0(); x <= rest.x1(); ++x) {
      rest.set(x, y,
               std::hypot(x - seed.x, y - seed.y) <= reach
                   ? static_cast<float>(region.unmaskedAt(x, y) - imageLight(star, x, y))
                   : std::numeric_limits<float>::quiet_NaN());
    }
  }
  Star companion{static_cast<double>(seed.x), static_cast<double>(seed.y),
                 seed.excess * 2 * std::numbers::pi * star.sigma * star.sigma, star.sigma};
  for (int iteration = 0; iteration < kCompanionIterations; ++iteration) {
    const Sums sums = accumulate(rest, companion, plane, gain);
    // Its width is the star's: only position and flux are fitted.
    std::array<std::array<double, 3>, 3> fisher{};
    std::array<double, 3> step{};
    for (std::size_t a = 0; a < 3; ++a) {
      step[a] = sums.gradient[a];
      for (std::size_t b = 0; b < 3; ++b) fisher[a][b] = sums.fisher[a][b];
    }
    if (!solve(fisher, step)) return std::nullopt;
    companion.x += std::clamp(step[0], -1.0, 1.0);
    companion.y += std::clamp(step[1], -1.0, 1.0);
    companion.flux += step[2];
  }
  if (!(companion.flux > 0) || std::hypot(companion.x - seed.x, companion.y - seed.y) > 2)
    return std::nullopt;
  return companion;
}

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
