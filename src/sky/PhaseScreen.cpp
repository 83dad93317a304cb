#include "sky/PhaseScreen.h"

#include <fftw3.h>

#include <cmath>
#include <numbers>

namespace nebulor::sky {
namespace {

// Von Karman phase spectrum constant: (24/5 Gamma(6/5))^(5/6) Gamma(11/6)^2 / (2 pi^(11/3)),
// the one that makes the Kolmogorov structure function 6.88 (r/r0)^(5/3).
constexpr double kSpectrumConstant = 0.022896;

std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

std::uint64_t splitMix(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

using Complex = std::complex<float>;

struct FftwFree {
  void operator()(Complex* p) const { fftwf_free(p); }
};
using FftwArray = std::unique_ptr<Complex[], FftwFree>;

FftwArray allocate(std::size_t count) {
  return FftwArray(reinterpret_cast<Complex*>(fftwf_malloc(sizeof(Complex) * count)));
}

fftwf_complex* raw(const FftwArray& array) { return reinterpret_cast<fftwf_complex*>(array.get()); }

}  // namespace

NormalPairs::NormalPairs(std::uint64_t seed) {
  for (std::uint64_t& s : state_) s = splitMix(seed);
}

double NormalPairs::uniform() {
  return (static_cast<double>(nextBits() >> 11) + 0.5) * 0x1.0p-53;
}  // in (0, 1)

std::uint64_t NormalPairs::nextBits() {
  const std::uint64_t result = rotl(state_[1] * 5, 7) * 9;
  const std::uint64_t t = state_[1] << 17;
  state_[2] ^= state_[0];
  state_[3] ^= state_[1];
  state_[1] ^= state_[2];
  state_[0] ^= state_[3];
  state_[2] ^= t;
  state_[3] = rotl(state_[3], 45);
  return result;
}

// Box-Muller: one radius and angle give both parts.
std::complex<double> NormalPairs::next() {
  const double radius = std::sqrt(-2.0 * std::log(uniform()));
  const double angle = 2.0 * std::numbers::pi * uniform();
  return {radius * std::cos(angle), radius * std::sin(angle)};
}

// Marsaglia's polar method in single precision, ample for the screen's
// million frequencies and faster: no sine or cosine.
std::complex<float> NormalPairs::nextFloat() {
  for (;;) {
    const std::uint64_t bits = nextBits();
    const float u = static_cast<float>(bits >> 40) * 0x1.0p-23f - 1.0f;
    const float v = static_cast<float>((bits >> 16) & 0xffffff) * 0x1.0p-23f - 1.0f;
    const float s = u * u + v * v;
    if (s >= 1.0f || s == 0.0f) continue;
    const float factor = std::sqrt(-2.0f * std::log(s) / s);
    return {u * factor, v * factor};
  }
}

// Frequencies (ix - half, iy - half) x step, ix and iy in 0..2 half, each
// standing for its cell of step x step; the central cells up to `hole` steps
// out are left to the next, finer lattice.
struct PhaseScreen::Lattice {
  int half;
  int hole;
  std::vector<std::vector<std::complex<double>>> weights;  // per filter, [iy][ix] flattened
  std::vector<std::complex<double>> phasors;               // [i][coarse point]: exp(2 pi i (i - half) step x)
  std::vector<std::complex<double>> noise;

  int side() const { return 2 * half + 1; }
};

struct PhaseScreen::Buffers {
  std::vector<FftwArray> weights;  // per filter: sqrt(W) df H(f) on the grid's frequencies
  std::vector<FftwArray> outputs;
  std::vector<std::vector<std::complex<double>>> coarse;  // per filter: the lattices on the coarse grid
  // The 2-D transform as rows, transpose, rows: FFTW's estimated 2-D plan
  // is three times slower here, and a measured plan would not repeat a seed
  // exactly. The result is the transposed transform, so the weights are
  // stored transposed.
  fftwf_plan rows = nullptr;
  fftwf_plan transpose = nullptr;

  ~Buffers() {
    if (rows != nullptr) fftwf_destroy_plan(rows);
    if (transpose != nullptr) fftwf_destroy_plan(transpose);
  }

  void transform(const FftwArray& array) const {
    fftwf_execute_dft(rows, raw(array), raw(array));
    fftwf_execute_dft(transpose, raw(array), raw(array));
    fftwf_execute_dft(rows, raw(array), raw(array));
  }
};

namespace {

constexpr int kLowCells = 2;         // grid frequencies up to this many steps go to the lattices
constexpr int kLatticeDivision = 9;  // first lattice steps per grid step (odd: a cell centred on 0)
// Each further lattice: 9 x 9 cells a third of the size of the 3 x 3 it
// replaces, so no cell is nearer the origin than two of its widths and W
// changes little across it. Six levels keep scales up to 7000 screen
// widths: the pure Kolmogorov structure function is then within 2% out to a
// third of the screen (Lane's three levels of single frequencies per 3 x 3
// cell lose 5 to 20% there). More levels add phase so large that single
// precision no longer resolves the small scales beside it.
constexpr int kSubharmonicLevels = 6;
// The low frequencies vary slowly: summed on a grid this many samples
// apart and interpolated, they lose under 0.2% of their power.
constexpr int kCoarseStep = 8;

// Written out: std::complex's operator* checks for infinities, several times slower.
std::complex<double> times(std::complex<double> a, std::complex<double> b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

template <typename Value>
std::complex<double> bilinear(const Value* values, std::size_t stride, double x, double y) {
  const auto x0 = static_cast<std::size_t>(x);
  const auto y0 = static_cast<std::size_t>(y);
  const double tx = x - static_cast<double>(x0), ty = y - static_cast<double>(y0);
  const Value* row = values + y0 * stride + x0;
  // The far neighbours are read only when they weigh: the last sample has none.
  const auto along = [tx](const Value* r) {
    const std::complex<double> near(r[0]);
    return tx > 0 ? near * (1 - tx) + std::complex<double>(r[1]) * tx : near;
  };
  return ty > 0 ? along(row) * (1 - ty) + along(row + stride) * ty : along(row);
}

}  // namespace

PhaseScreen::PhaseScreen(const ScreenStatistics& statistics, const ScreenGrid& grid,
                         std::vector<SpectralFilter> filters, std::uint64_t seed)
    : grid_(grid), filterCount_(filters.size()), buffers_(std::make_unique<Buffers>()), random_(seed) {
  const int n = grid.size;
  const std::size_t count = static_cast<std::size_t>(n) * n;
  const double df = 1.0 / (n * grid.spacing);
  const double r0Term = kSpectrumConstant * std::pow(statistics.r0, -5.0 / 3.0);
  const double outerTerm =
      std::isinf(statistics.outerScale) ? 0.0 : 1.0 / (statistics.outerScale * statistics.outerScale);
  const auto amplitude = [&](double fx, double fy, double cell) {
    return std::sqrt(r0Term * std::pow(fx * fx + fy * fy + outerTerm, -11.0 / 6.0)) * cell;
  };

  for (std::size_t k = 0; k < filterCount_; ++k) {
    FftwArray weights = allocate(count);
    for (int i = 0; i < n; ++i) {
      const int ky = i < n / 2 ? i : i - n;
      for (int j = 0; j < n; ++j) {
        const int kx = j < n / 2 ? j : j - n;
        const bool low = std::abs(kx) <= kLowCells && std::abs(ky) <= kLowCells;
        weights[static_cast<std::size_t>(j) * n + i] =
            low ? Complex{} : Complex(amplitude(kx * df, ky * df, df) * filters[k](kx * df, ky * df));
      }
    }
    buffers_->weights.push_back(std::move(weights));
    buffers_->outputs.push_back(allocate(count));
    buffers_->coarse.emplace_back();
  }
  if (filterCount_ > 0) {
    fftwf_complex* first = raw(buffers_->outputs.front());
    buffers_->rows = fftwf_plan_many_dft(1, &n, n, first, nullptr, 1, n, first, nullptr, 1, n, FFTW_BACKWARD,
                                         FFTW_ESTIMATE);
    fftwf_iodim swap[2] = {{n, n, 1}, {n, 1, n}};
    buffers_->transpose =
        fftwf_plan_guru_dft(0, nullptr, 2, swap, first, first, FFTW_BACKWARD, FFTW_ESTIMATE);
  }

  // The fine lattice over the grid's low cells, then Lane's levels in its centre.
  const int coarseSide = n / std::min(kCoarseStep, n) + 1;
  const double coarseSpacing = std::min(kCoarseStep, n) * grid.spacing;
  double step = df / kLatticeDivision;
  int half = kLowCells * kLatticeDivision + kLatticeDivision / 2;
  for (int level = 0; level <= kSubharmonicLevels; ++level) {
    Lattice lattice{half, level < kSubharmonicLevels ? 1 : 0, {}, {}, {}};
    const int side = lattice.side();
    for (const SpectralFilter& filter : filters) {
      std::vector<std::complex<double>> weights(static_cast<std::size_t>(side) * side);
      for (int iy = 0; iy < side; ++iy) {
        for (int ix = 0; ix < side; ++ix) {
          if (std::abs(ix - half) <= lattice.hole && std::abs(iy - half) <= lattice.hole) continue;
          const double fx = (ix - half) * step, fy = (iy - half) * step;
          weights[static_cast<std::size_t>(iy) * side + ix] = amplitude(fx, fy, step) * filter(fx, fy);
        }
      }
      lattice.weights.push_back(std::move(weights));
    }
    for (int i = 0; i < side; ++i) {
      for (int c = 0; c < coarseSide; ++c) {
        lattice.phasors.push_back(
            std::polar(1.0, 2.0 * std::numbers::pi * (i - half) * step * c * coarseSpacing));
      }
    }
    lattice.noise.resize(static_cast<std::size_t>(side) * side);
    lattices_.push_back(std::move(lattice));
    step /= 3;
    half = 4;
  }
}

PhaseScreen::~PhaseScreen() = default;

std::complex<double> PhaseScreen::at(std::size_t filter, double x, double y) const {
  const auto n = static_cast<std::size_t>(grid_.size);
  const int step = std::min(kCoarseStep, grid_.size);
  return bilinear(buffers_->outputs[filter].get(), n, x, y) + bilinear(buffers_->coarse[filter].data(),
                                                                       n / static_cast<std::size_t>(step) + 1,
                                                                       x / step, y / step);
}

void PhaseScreen::draw() {
  const std::size_t count = static_cast<std::size_t>(grid_.size) * grid_.size;
  for (std::size_t j = 0; j < count; ++j) {
    const std::complex<float> noise = random_.nextFloat();
    const float re = noise.real(), im = noise.imag();
    for (std::size_t k = 0; k < filterCount_; ++k) {
      const Complex w = buffers_->weights[k][j];  // written out: std::complex checks for infinities
      buffers_->outputs[k][j] = {re * w.real() - im * w.imag(), re * w.imag() + im * w.real()};
    }
  }
  for (const FftwArray& output : buffers_->outputs) buffers_->transform(output);
  for (Lattice& lattice : lattices_) {
    for (std::complex<double>& noise : lattice.noise) noise = random_.next();
  }
  sumLowFrequencies();
}

// The lattices summed on the coarse grid, separably: along x, then along y.
void PhaseScreen::sumLowFrequencies() {
  const auto cs = static_cast<std::size_t>(grid_.size / std::min(kCoarseStep, grid_.size) + 1);
  std::vector<std::complex<double>> partial;
  for (std::size_t k = 0; k < filterCount_; ++k) {
    std::vector<std::complex<double>>& coarse = buffers_->coarse[k];
    coarse.assign(cs * cs, {});
    for (const Lattice& lattice : lattices_) {
      const auto side = static_cast<std::size_t>(lattice.side());
      partial.assign(side * cs, {});
      for (std::size_t iy = 0; iy < side; ++iy) {
        for (std::size_t ix = 0; ix < side; ++ix) {
          const std::complex<double> a =
              times(lattice.noise[iy * side + ix], lattice.weights[k][iy * side + ix]);
          if (a == std::complex<double>{}) continue;
          for (std::size_t c = 0; c < cs; ++c) partial[iy * cs + c] += times(a, lattice.phasors[ix * cs + c]);
        }
      }
      for (std::size_t iy = 0; iy < side; ++iy) {
        for (std::size_t cy = 0; cy < cs; ++cy) {
          const std::complex<double> p = lattice.phasors[iy * cs + cy];
          for (std::size_t cx = 0; cx < cs; ++cx) coarse[cy * cs + cx] += times(p, partial[iy * cs + cx]);
        }
      }
    }
  }
}

}  // namespace nebulor::sky
