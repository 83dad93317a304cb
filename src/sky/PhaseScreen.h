#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace nebulor::sky {

// Complex normal deviates (real and imaginary parts independent, unit
// variance) from xoshiro256**: several times faster than the standard
// library's, which matters at a million per screen.
class NormalPairs {
 public:
  explicit NormalPairs(std::uint64_t seed);
  std::complex<double> next();
  std::complex<float> nextFloat();

 private:
  double uniform();
  std::uint64_t nextBits();
  std::uint64_t state_[4];
};

// Turbulence of one screen: Fried parameter and outer scale, metres.
struct ScreenStatistics {
  double r0 = 0.1;
  double outerScale = 20;  // infinity: pure Kolmogorov
};

// Square grid of `size` x `size` samples `spacing` metres apart; size a power of two.
struct ScreenGrid {
  int size = 1024;
  double spacing = 0.003125;
};

// A linear operation on the phase, given by its transfer function of the
// spatial frequency (fx, fy) in cycles per metre: 1 for the phase itself,
// i lambda fx A(f) for the hole-averaged tilt, and so on.
using SpectralFilter = std::function<std::complex<double>(double fx, double fy)>;

// Von Karman phase screens by FFT: complex white noise shaped by the square
// root of the phase spectrum
//   W(f) = 0.023 r0^(-5/3) (f^2 + 1/L0^2)^(-11/6)
// on the grid's frequencies. Below 2.5 grid steps, where W changes too fast
// for one frequency per grid cell (Lane et al. 1992 lose a fifth of the
// structure function at a quarter of the screen that way), the grid leaves
// the spectrum to subharmonics: a lattice nine times finer, and inside its
// central cell three levels of 3 x 3 subharmonics (Lane's), summed exactly on
// a coarse grid and interpolated to the samples. Large scales, which carry
// most of the tilt, are then kept down to a few hundred screen widths.
// Real and imaginary parts of one transform are two independent screens, so
// every draw yields a pair.
//
// Each draw applies all the filters to the same noise: outputs of one draw
// belong to the same two screens.
class PhaseScreen {
 public:
  PhaseScreen(const ScreenStatistics& statistics, const ScreenGrid& grid, std::vector<SpectralFilter> filters,
              std::uint64_t seed);
  ~PhaseScreen();
  PhaseScreen(const PhaseScreen&) = delete;
  PhaseScreen& operator=(const PhaseScreen&) = delete;

  void draw();

  // Output of `filter` at (x, y) in samples from the screen's corner, 0 to
  // size - 1, bilinear between samples: real part from the first screen,
  // imaginary part from the second.
  std::complex<double> at(std::size_t filter, double x, double y) const;

  const ScreenGrid& grid() const { return grid_; }

 private:
  struct Lattice;
  struct Buffers;

  void sumLowFrequencies();

  ScreenGrid grid_;
  std::size_t filterCount_;
  std::vector<Lattice> lattices_;
  std::unique_ptr<Buffers> buffers_;
  NormalPairs random_;
};

}  // namespace nebulor::sky
