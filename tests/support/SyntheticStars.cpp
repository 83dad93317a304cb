#include "support/SyntheticStars.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace nebulor::test {
namespace {

constexpr double kMoffatBeta = 3.0;
constexpr double kFullScale = 65535.0;
// Photon counts of larger means are drawn from the normal approximation.
constexpr double kPoissonLimit = 30.0;

double gaussianShare(double centre, double sigma, int pixel) {
  const double scale = 1.0 / (sigma * std::numbers::sqrt2);
  return 0.5 * (std::erf((pixel + 0.5 - centre) * scale) - std::erf((pixel - 0.5 - centre) * scale));
}

// Moffat image of the given Gaussian-equivalent sigma (same FWHM), integrated
// over each pixel by the midpoint rule: finely near the core, coarsely in the
// smooth wings.
void addMoffat(std::vector<double>& electrons, const StarScene& scene, const TrueStar& star) {
  const double fwhm = 2.0 * std::sqrt(2.0 * std::numbers::ln2) * scene.sigma;
  const double alpha = fwhm / (2.0 * std::sqrt(std::pow(2.0, 1.0 / kMoffatBeta) - 1.0));
  const double norm = (kMoffatBeta - 1.0) / (std::numbers::pi * alpha * alpha);
  const double core = 3.0 * alpha + 1.0;
  for (int y = 0; y < scene.height; ++y) {
    for (int x = 0; x < scene.width; ++x) {
      const double dx = x - star.x, dy = y - star.y;
      const double r2 = dx * dx + dy * dy;
      const int n = r2 < 9 ? 10 : r2 < core * core ? 4 : 2;
      double sum = 0;
      for (int v = 0; v < n; ++v) {
        const double py = dy - 0.5 + (v + 0.5) / n;
        for (int u = 0; u < n; ++u) {
          const double px = dx - 0.5 + (u + 0.5) / n;
          const double q = 1.0 + (px * px + py * py) / (alpha * alpha);
          sum += 1.0 / (q * q * q);
        }
      }
      electrons[static_cast<std::size_t>(y) * scene.width + x] += star.flux * norm * sum / (n * n);
    }
  }
}

void addGaussian(std::vector<double>& electrons, const StarScene& scene, const TrueStar& star) {
  const int reach = static_cast<int>(std::ceil(7 * scene.sigma)) + 1;
  const int x0 = std::max(0, static_cast<int>(star.x) - reach),
            x1 = std::min(scene.width - 1, static_cast<int>(star.x) + reach);
  const int y0 = std::max(0, static_cast<int>(star.y) - reach),
            y1 = std::min(scene.height - 1, static_cast<int>(star.y) + reach);
  std::vector<double> shareX;
  for (int x = x0; x <= x1; ++x) shareX.push_back(gaussianShare(star.x, scene.sigma, x));
  for (int y = y0; y <= y1; ++y) {
    const double row = star.flux * gaussianShare(star.y, scene.sigma, y);
    for (int x = x0; x <= x1; ++x) {
      electrons[static_cast<std::size_t>(y) * scene.width + x] +=
          row * shareX[static_cast<std::size_t>(x - x0)];
    }
  }
}

void addStar(std::vector<double>& electrons, const StarScene& scene, const TrueStar& star) {
  if (scene.psf == Psf::gaussian)
    addGaussian(electrons, scene, star);
  else
    addMoffat(electrons, scene, star);
}

}  // namespace

std::vector<double> meanElectrons(const StarScene& scene) {
  std::vector<double> electrons(static_cast<std::size_t>(scene.width) * scene.height);
  for (int y = 0; y < scene.height; ++y) {
    for (int x = 0; x < scene.width; ++x) {
      electrons[static_cast<std::size_t>(y) * scene.width + x] =
          scene.sky + scene.skySlopeX * (x - scene.width / 2.0) + scene.skySlopeY * (y - scene.height / 2.0);
    }
  }
  for (const TrueStar& star : scene.stars) addStar(electrons, scene, star);
  return electrons;
}

stars::Frame renderFrame(const StarScene& scene, std::mt19937_64& random) {
  std::vector<double> electrons = meanElectrons(scene);
  // A track: sampled finely along its length, each sample's charge in the
  // pixel it falls on.
  for (const CosmicTrack& track : scene.tracks) {
    const double length = std::hypot(track.x1 - track.x0, track.y1 - track.y0);
    const int steps = std::max(1, static_cast<int>(length * 20));
    for (int s = 0; s <= steps; ++s) {
      const double t = static_cast<double>(s) / steps;
      const int x = static_cast<int>(std::nearbyint(track.x0 + t * (track.x1 - track.x0)));
      const int y = static_cast<int>(std::nearbyint(track.y0 + t * (track.y1 - track.y0)));
      if (x < 0 || y < 0 || x >= scene.width || y >= scene.height) continue;
      electrons[static_cast<std::size_t>(y) * scene.width + x] +=
          track.electrons * std::max(length, 1.0) / (steps + 1);
    }
  }
  std::normal_distribution<double> gauss;
  stars::Frame frame{scene.width, scene.height, std::vector<std::uint16_t>(electrons.size())};
  for (std::size_t i = 0; i < electrons.size(); ++i) {
    const double mean = std::max(electrons[i], 0.0);
    const double photons = mean < kPoissonLimit
                               ? static_cast<double>(std::poisson_distribution<long>(mean)(random))
                               : mean + std::sqrt(mean) * gauss(random);
    const double counts = (photons + scene.readNoise * gauss(random)) / scene.gain + scene.bias;
    frame.pixels[i] = static_cast<std::uint16_t>(std::clamp(std::nearbyint(counts), 0.0, kFullScale));
  }
  for (const HotPixel& hot : scene.hotPixels) {
    std::uint16_t& pixel = frame.pixels[static_cast<std::size_t>(hot.y) * scene.width + hot.x];
    pixel = static_cast<std::uint16_t>(std::min(pixel + hot.counts, kFullScale));
  }
  return frame;
}

double fluxForPeakSnr(const StarScene& scene, double peakSnr) {
  StarScene unit = scene;
  unit.stars = {{scene.width / 2.0, scene.height / 2.0, 1.0}};
  unit.sky = 0;
  unit.skySlopeX = unit.skySlopeY = 0;
  const std::vector<double> image = meanElectrons(unit);
  const double share = *std::max_element(image.begin(), image.end());
  // Peak P over sqrt(P + sky + read noise^2) = snr, solved for P.
  const double background = scene.sky + scene.readNoise * scene.readNoise;
  const double s2 = peakSnr * peakSnr;
  const double peak = (s2 + std::sqrt(s2 * s2 + 4 * s2 * background)) / 2;
  return peak / share;
}

double cramerRaoBound(const StarScene& scene, std::size_t index) {
  constexpr double h = 1e-3;
  const double quantisation = scene.gain * scene.gain / 12.0;
  double sumVariance = 0;
  int count = 0;
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 4; ++i) {
      StarScene at = scene;
      at.stars[index].x = std::floor(scene.stars[index].x) + (i + 0.5) / 4;
      at.stars[index].y = std::floor(scene.stars[index].y) + (j + 0.5) / 4;
      const std::vector<double> mean = meanElectrons(at);
      StarScene alone = at;
      alone.stars = {at.stars[index]};
      alone.sky = alone.skySlopeX = alone.skySlopeY = 0;
      const std::vector<double> star = meanElectrons(alone);
      const auto shifted = [&alone, h](double dx, double dy) {
        StarScene moved = alone;
        moved.stars[0].x += dx;
        moved.stars[0].y += dy;
        return meanElectrons(moved);
      };
      const std::vector<double> xPlus = shifted(h, 0), xMinus = shifted(-h, 0);
      const std::vector<double> yPlus = shifted(0, h), yMinus = shifted(0, -h);
      // Parameters x, y, flux, sky level.
      std::array<std::array<double, 4>, 4> fisher{};
      for (std::size_t p = 0; p < mean.size(); ++p) {
        const std::array<double, 4> d{(xPlus[p] - xMinus[p]) / (2 * h), (yPlus[p] - yMinus[p]) / (2 * h),
                                      star[p] / at.stars[index].flux, 1.0};
        const double variance = std::max(mean[p], 0.0) + scene.readNoise * scene.readNoise + quantisation;
        for (std::size_t a = 0; a < 4; ++a) {
          for (std::size_t b = 0; b < 4; ++b) fisher[a][b] += d[a] * d[b] / variance;
        }
      }
      // Inverse by Gauss-Jordan; the x and y diagonal elements are the bounds.
      std::array<std::array<double, 8>, 4> m{};
      for (std::size_t a = 0; a < 4; ++a) {
        for (std::size_t b = 0; b < 4; ++b) m[a][b] = fisher[a][b];
        m[a][4 + a] = 1;
      }
      for (std::size_t c = 0; c < 4; ++c) {
        const double pivot = m[c][c];
        for (double& v : m[c]) v /= pivot;
        for (std::size_t r = 0; r < 4; ++r) {
          if (r == c) continue;
          const double factor = m[r][c];
          for (std::size_t k = 0; k < 8; ++k) m[r][k] -= factor * m[c][k];
        }
      }
      sumVariance += (m[0][4] + m[1][5]) / 2;
      ++count;
    }
  }
  return std::sqrt(sumVariance / count);
}

}  // namespace nebulor::test
