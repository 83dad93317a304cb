#include "sky/FourierImager.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace nebulor::sky {
namespace {

constexpr int kCellsAcross = 16;  // the phase screen's samples across a hole
constexpr int kEdgeSubcells = 16;
constexpr int kWander = 2;  // pixels
// The intensity's band edge, D / lambda, at most this many cycles per sample
// (0.5 would leave no room for the reconstruction kernel's taper).
constexpr double kBandEdgeInSamples = 0.4;
// The pixel filter's taps reach this many pixels each way.
constexpr int kFilterReach = 5;
constexpr int kIntegrationSteps = 4000;
constexpr std::size_t kBlock = 8;  // loops in blocks of eight turn into vector instructions

double sinc(double x) { return x == 0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x); }

// The mean over a pixel (1 px wide) of the intensity rebuilt from samples
// `step` px apart whose band ends at `band` cycles per px, at `t` px from a
// sample: the inverse transform of step * taper(f) * sinc(f).
double pixelResponse(double t, double step, double band) {
  const double stop = 1.0 / step - band;
  const double df = stop / kIntegrationSteps;
  double sum = 0;
  for (int i = 0; i < kIntegrationSteps; ++i) {
    const double f = (i + 0.5) * df;
    const double taper =
        f <= band ? 1.0 : 0.5 * (1 + std::cos(std::numbers::pi * (f - band) / (stop - band)));
    sum += taper * sinc(f) * std::cos(2 * std::numbers::pi * f * t);
  }
  return 2 * step * sum * df;
}

// re + i im += (br + i bi) (ar + i ai), element by element, `count` a
// multiple of kBlock; re and im apart from each other and from ar and ai.
// Each block is read, then written: vector instructions either way.
void addProduct(float* __restrict re, float* __restrict im, const float* ar, const float* ai, float br,
                float bi, std::size_t count) {
  for (std::size_t m = 0; m < count; m += kBlock) {
    std::array<float, kBlock> r{}, i{};
    for (std::size_t b = 0; b < kBlock; ++b) {
      r[b] = br * ar[m + b] - bi * ai[m + b];
      i[b] = br * ai[m + b] + bi * ar[m + b];
    }
    for (std::size_t b = 0; b < kBlock; ++b) {
      re[m + b] += r[b];
      im[m + b] += i[b];
    }
  }
}

// One pixel's value: its filter's `taps` taps from `first` on, over the
// samples `stride` apart.
template <typename Sample>
double filtered(const float* filter, std::size_t first, std::size_t taps, const Sample* samples,
                std::size_t stride) {
  double sum = 0;
  for (std::size_t m = first; m < first + taps; ++m) sum += filter[m] * samples[m * stride];
  return sum;
}

// Share of the cell of side 1 centred on (cx, cy) that lies within `radius`.
double cellShare(double cx, double cy, double radius) {
  int inside = 0;
  for (int i = 0; i < kEdgeSubcells; ++i) {
    for (int j = 0; j < kEdgeSubcells; ++j) {
      const double x = cx - 0.5 + (j + 0.5) / kEdgeSubcells, y = cy - 0.5 + (i + 0.5) / kEdgeSubcells;
      inside += x * x + y * y < radius * radius ? 1 : 0;
    }
  }
  return static_cast<double>(inside) / (kEdgeSubcells * kEdgeSubcells);
}

}  // namespace

FourierImager::FourierImager(const SkySettings& settings, double pixelScale, double reach) {
  const double diameter = settings.holeDiameter / 1000.0;
  const double wavelength = settings.wavelength * 1e-9;
  const double cell = diameter / kCellsAcross;
  double area = 0;  // in cells
  for (int i = 0; i < kCellsAcross; ++i) {
    const double y = i - (kCellsAcross - 1) / 2.0;
    cellCoordinate_.push_back(y * cell);
    for (int j = 0; j < kCellsAcross; ++j) {
      const double x = j - (kCellsAcross - 1) / 2.0;
      const double share = cellShare(x, y, kCellsAcross / 2.0);
      if (share <= 0) continue;
      points_.push_back({x * cell, y * cell});
      amplitude_.push_back(static_cast<float>(share));
      cell_.push_back(i * kCellsAcross + j);
      area += share;
    }
  }
  wavenumberPixel_ = 2 * std::numbers::pi / wavelength * pixelScale;
  // The hole's whole pattern holds lambda^2 times its area (Parseval); the
  // grid's edge cells would send a little of that far off the patch.
  normalisation_ = std::pow(cell * pixelScale / wavelength, 2) / area;

  const double lambdaOverD = wavelength / diameter / pixelScale;  // pixels
  const double band = 1.0 / lambdaOverD;                          // cycles per pixel
  const int perPixel = std::max(1, static_cast<int>(std::ceil(band / kBandEdgeInSamples)));
  fineStep_ = 1.0 / perPixel;
  reach_ = static_cast<int>(std::ceil(reach * lambdaOverD)) + kWander;
  const int size = 2 * reach_ + 1;
  fineCount_ = perPixel * (size + 2 * kFilterReach);
  finePadded_ = (fineCount_ + kBlock - 1) / kBlock * kBlock;
  const double centre = (fineCount_ - 1) / 2.0;

  kernelRe_.assign(static_cast<std::size_t>(kCellsAcross) * finePadded_, 0.0F);
  kernelIm_ = kernelRe_;
  for (int j = 0; j < kCellsAcross; ++j) {
    for (int m = 0; m < fineCount_; ++m) {
      const double angle = -wavenumberPixel_ * (m - centre) * fineStep_ * cellCoordinate_[j];
      const auto at = static_cast<std::size_t>(j) * finePadded_ + m;
      kernelRe_[at] = static_cast<float>(std::cos(angle));
      kernelIm_[at] = static_cast<float>(std::sin(angle));
    }
  }
  // The response depends on the pixel's distance from the sample alone,
  // which takes few values: a multiple of half a fine step.
  const int halfSteps = 2 * perPixel * kFilterReach;
  std::vector<double> response(static_cast<std::size_t>(2 * halfSteps + 1));
  for (int k = -halfSteps; k <= halfSteps; ++k)
    response[static_cast<std::size_t>(k + halfSteps)] = pixelResponse(k * fineStep_ / 2, fineStep_, band);
  // Each pixel's taps, a run of fine samples of the same length for all.
  pixelFilter_.assign(static_cast<std::size_t>(size) * fineCount_, 0.0F);
  for (int n = 0; n < size; ++n) {
    filterFirst_.push_back(static_cast<std::size_t>(fineCount_));
    for (int m = 0; m < fineCount_; ++m) {
      const long k = std::lround(2 * ((n - reach_) - (m - centre) * fineStep_) / fineStep_);
      if (std::abs(k) > halfSteps) continue;
      pixelFilter_[static_cast<std::size_t>(n) * fineCount_ + m] =
          static_cast<float>(response[static_cast<std::size_t>(k + halfSteps)]);
      filterFirst_.back() = std::min(filterFirst_.back(), static_cast<std::size_t>(m));
      filterTaps_ = std::max(filterTaps_, static_cast<int>(m - filterFirst_.back()) + 1);
    }
  }
}

ImageStamp FourierImager::image(double flatX, double flatY, double nearX, double nearY,
                                std::span<const float> phases, double phaseScale) const {
  const int size = 2 * reach_ + 1;
  const double centreX = std::nearbyint(nearX), centreY = std::nearbyint(nearY);
  // The patch's centre, seen from the flat image, as a phase ramp over the hole.
  const double rampX = wavenumberPixel_ * (centreX - flatX), rampY = wavenumberPixel_ * (centreY - flatY);
  const std::size_t pointCount = points_.size();
  const std::size_t steps = phases.size() / pointCount;
  const auto padded = static_cast<std::size_t>(finePadded_);
  const auto fine = static_cast<std::size_t>(fineCount_);

  std::vector<float> intensity(fine * padded, 0.0F);
  std::vector<float> rowRe(kCellsAcross * padded), rowIm(kCellsAcross * padded);
  std::vector<float> fieldRe(padded), fieldIm(padded);
  for (std::size_t step = 0; step < steps; ++step) {
    std::fill(rowRe.begin(), rowRe.end(), 0.0F);
    std::fill(rowIm.begin(), rowIm.end(), 0.0F);
    // Along x: each grid row of the hole's field onto the fine columns.
    for (std::size_t p = 0; p < pointCount; ++p) {
      // In single precision: a phase of hundreds of radians still keeps 1e-5.
      const auto phase = static_cast<float>(phases[step * pointCount + p] * phaseScale -
                                            rampX * points_[p].x - rampY * points_[p].y);
      const float pr = amplitude_[p] * std::cos(phase);
      const float pi = amplitude_[p] * std::sin(phase);
      const auto row = static_cast<std::size_t>(cell_[p] / kCellsAcross) * padded;
      const auto column = static_cast<std::size_t>(cell_[p] % kCellsAcross) * padded;
      addProduct(&rowRe[row], &rowIm[row], &kernelRe_[column], &kernelIm_[column], pr, pi, padded);
    }
    // Along y: the rows onto each fine row, and its intensity.
    for (std::size_t n = 0; n < fine; ++n) {
      std::fill(fieldRe.begin(), fieldRe.end(), 0.0F);
      std::fill(fieldIm.begin(), fieldIm.end(), 0.0F);
      for (std::size_t i = 0; i < kCellsAcross; ++i) {
        const float wr = kernelRe_[i * padded + n], wi = kernelIm_[i * padded + n];
        addProduct(fieldRe.data(), fieldIm.data(), &rowRe[i * padded], &rowIm[i * padded], wr, wi, padded);
      }
      float* out = &intensity[n * padded];
      for (std::size_t m = 0; m < padded; m += kBlock) {
        for (std::size_t b = m; b < m + kBlock; ++b)
          out[b] += fieldRe[b] * fieldRe[b] + fieldIm[b] * fieldIm[b];
      }
    }
  }

  // Each pixel's share: the pixel filter along x, then along y.
  const auto pixels = static_cast<std::size_t>(size);
  std::vector<double> alongX(fine * pixels, 0.0);
  const auto taps = static_cast<std::size_t>(filterTaps_);
  for (std::size_t n = 0; n < fine; ++n) {
    for (std::size_t x = 0; x < pixels; ++x) {
      alongX[n * pixels + x] =
          filtered(&pixelFilter_[x * fine], filterFirst_[x], taps, &intensity[n * padded], 1);
    }
  }
  ImageStamp stamp;
  stamp.x0 = static_cast<int>(centreX) - reach_;
  stamp.y0 = static_cast<int>(centreY) - reach_;
  stamp.size = size;
  stamp.shares.assign(pixels * pixels, 0.0F);
  const double scale = steps > 0 ? normalisation_ / static_cast<double>(steps) : 0.0;
  for (std::size_t y = 0; y < pixels; ++y) {
    for (std::size_t x = 0; x < pixels; ++x) {
      const double sum = filtered(&pixelFilter_[y * fine], filterFirst_[y], taps, &alongX[x], pixels);
      stamp.shares[y * pixels + x] = static_cast<float>(std::max(sum * scale, 0.0));
    }
  }
  return stamp;
}

}  // namespace nebulor::sky
