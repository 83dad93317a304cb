#include "camera/sim/FrameRenderer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace nebulor::camera::sim {
namespace {

// The star image is drawn this many sigmas out; beyond, it is below any noise.
constexpr double kExtentInSigma = 6.0;
// Photon counts above this mean are drawn from the normal approximation.
constexpr double kPoissonLimit = 30.0;
constexpr double kFullScale = 65535.0;
constexpr std::uint64_t kHotPixelStream = 0x5851f42d4c957f2dULL;
constexpr double kHotPixelLow = 2000;  // counts above the pixel's own signal
constexpr double kHotPixelHigh = 10000;
constexpr double kTrackLength = 10;       // px, at most
constexpr double kTrackChargeLow = 1000;  // electrons per pixel crossed
constexpr double kTrackChargeHigh = 5000;

// Share of a unit Gaussian centred on `centre` that falls on each pixel
// [first - 0.5, first + 0.5), [first + 0.5, first + 1.5), ...
std::vector<double> pixelShares(double centre, double sigma, int first, int count) {
  std::vector<double> shares(static_cast<std::size_t>(count));
  const double scale = 1.0 / (sigma * std::numbers::sqrt2);
  double lower = std::erf((first - 0.5 - centre) * scale);
  for (int i = 0; i < count; ++i) {
    const double upper = std::erf((first + i + 0.5 - centre) * scale);
    shares[static_cast<std::size_t>(i)] = 0.5 * (upper - lower);
    lower = upper;
  }
  return shares;
}

// Photon counts of one small mean by inversion of a cumulative table: the
// sky-only pixels all share one mean, and a table lookup is several times
// faster than drawing each from a fresh distribution.
class PoissonTable {
 public:
  explicit PoissonTable(double mean) {
    double probability = std::exp(-mean);
    double cumulative = probability;
    cumulative_.push_back(cumulative);
    for (int k = 1; cumulative < 1.0 - 1e-12 && k < 4 * static_cast<int>(kPoissonLimit); ++k) {
      probability *= mean / k;
      cumulative += probability;
      cumulative_.push_back(cumulative);
    }
  }

  double draw(std::mt19937_64& random) const {
    const double u = std::generate_canonical<double, 53>(random);
    return static_cast<double>(std::upper_bound(cumulative_.begin(), cumulative_.end(), u) -
                               cumulative_.begin());
  }

 private:
  std::vector<double> cumulative_;
};

}  // namespace

FrameRenderer::FrameRenderer(const SimSettings& settings, double psfSigma)
    : psfSigma_(psfSigma),
      flux_(settings.flux),
      sky_(settings.sky),
      readNoise_(settings.readNoise),
      gain_(settings.gain),
      bias_(settings.bias),
      cosmics_(settings.cosmics) {
  // The same sensor, the same hot pixels: placed by the seed alone.
  std::mt19937_64 place(settings.seed ^ kHotPixelStream);
  std::uniform_int_distribution<int> column(0, settings.width - 1), row(0, settings.height - 1);
  std::uniform_real_distribution<double> height(kHotPixelLow, kHotPixelHigh);
  for (int i = 0; i < settings.hotPixels; ++i)
    hotPixels_.push_back({column(place), row(place), height(place)});
}

// Each hit leaves a straight track of up to 10 px, charging every pixel it
// crosses with thousands of electrons, anywhere in the readout.
void FrameRenderer::addCosmics(std::vector<double>& electrons, const SensorBox& region,
                               std::mt19937_64& noise) const {
  if (cosmics_ <= 0) return;
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const long hits = std::poisson_distribution<long>(cosmics_)(noise);
  for (long hit = 0; hit < hits; ++hit) {
    const double x = region.x + unit(noise) * region.width, y = region.y + unit(noise) * region.height;
    const double angle = 2 * std::numbers::pi * unit(noise), length = kTrackLength * unit(noise);
    const double charge = kTrackChargeLow + (kTrackChargeHigh - kTrackChargeLow) * unit(noise);
    int lastX = -1, lastY = -1;
    for (double t = 0; t <= length; t += 0.05) {
      const int px = static_cast<int>(std::nearbyint(x + t * std::cos(angle))) - region.x;
      const int py = static_cast<int>(std::nearbyint(y + t * std::sin(angle))) - region.y;
      if ((px == lastX && py == lastY) || px < 0 || py < 0 || px >= region.width || py >= region.height)
        continue;
      electrons[static_cast<std::size_t>(py) * region.width + px] += charge;
      lastX = px;
      lastY = py;
    }
  }
}

void FrameRenderer::addStar(std::vector<double>& electrons, const SensorBox& region,
                            const sky::StarImage& star, double total) const {
  const double reach = kExtentInSigma * psfSigma_ + 1.0;
  // Off the readout (however far, so the conversions below stay in range).
  if (!(star.x + reach >= region.x && star.x - reach <= region.x + region.width - 1 &&
        star.y + reach >= region.y && star.y - reach <= region.y + region.height - 1)) {
    return;
  }
  // Clipped to the readout before the conversion: a wide star image reaches
  // further than an int.
  const auto clipped = [](double edge, int low, int high) {
    return static_cast<int>(std::clamp(edge, static_cast<double>(low), static_cast<double>(high)));
  };
  const int right = region.x + region.width - 1;
  const int bottom = region.y + region.height - 1;
  const int x0 = clipped(std::floor(star.x - reach), region.x, right);
  const int x1 = clipped(std::ceil(star.x + reach), region.x, right);
  const int y0 = clipped(std::floor(star.y - reach), region.y, bottom);
  const int y1 = clipped(std::ceil(star.y + reach), region.y, bottom);
  const std::vector<double> sharesX = pixelShares(star.x, psfSigma_, x0, x1 - x0 + 1);
  const std::vector<double> sharesY = pixelShares(star.y, psfSigma_, y0, y1 - y0 + 1);
  for (int y = y0; y <= y1; ++y) {
    const double rowTotal = total * sharesY[static_cast<std::size_t>(y - y0)];
    double* row = &electrons[static_cast<std::size_t>(y - region.y) * region.width];
    for (int x = x0; x <= x1; ++x) row[x - region.x] += rowTotal * sharesX[static_cast<std::size_t>(x - x0)];
  }
}

void FrameRenderer::addStamp(std::vector<double>& electrons, const SensorBox& region,
                             const sky::ImageStamp& stamp, double total) {
  const int x0 = std::max(stamp.x0, region.x), x1 = std::min(stamp.x0 + stamp.size, region.x + region.width);
  const int y0 = std::max(stamp.y0, region.y), y1 = std::min(stamp.y0 + stamp.size, region.y + region.height);
  for (int y = y0; y < y1; ++y) {
    const float* shares = stamp.shares.data() + static_cast<std::size_t>(y - stamp.y0) * stamp.size;
    double* row = electrons.data() + static_cast<std::size_t>(y - region.y) * region.width;
    for (int x = x0; x < x1; ++x) row[x - region.x] += total * shares[x - stamp.x0];
  }
}

stars::Frame FrameRenderer::render(const sky::SceneState& scene, const SensorBox& region, double seconds,
                                   std::mt19937_64& noise) const {
  const std::size_t count = static_cast<std::size_t>(region.width) * region.height;
  std::vector<double> electrons(count, sky_ * seconds);
  if (!scene.cloudy) {
    for (std::size_t s = 0; s < scene.stars.size(); ++s) {
      if (scene.images[s].size > 0)
        addStamp(electrons, region, scene.images[s], flux_ * seconds);
      else
        addStar(electrons, region, scene.stars[s], flux_ * seconds);
    }
  }
  addCosmics(electrons, region, noise);

  stars::Frame frame;
  frame.width = region.width;
  frame.height = region.height;
  frame.pixels.resize(count);
  std::normal_distribution<double> gauss(0.0, 1.0);
  // Most pixels hold sky alone: one table serves them all.
  const double skyMean = sky_ * seconds;
  const PoissonTable skyPhotons(skyMean < kPoissonLimit ? skyMean : 0.0);
  for (std::size_t i = 0; i < count; ++i) {
    const double mean = electrons[i];
    double detected = 0;
    if (mean <= 0) {
      detected = 0;
    } else if (mean == skyMean && mean < kPoissonLimit) {
      detected = skyPhotons.draw(noise);
    } else if (mean < kPoissonLimit) {
      std::poisson_distribution<long> photons(mean);
      detected = static_cast<double>(photons(noise));
    } else {
      detected = mean + std::sqrt(mean) * gauss(noise);
    }
    const double counts = (detected + readNoise_ * gauss(noise)) / gain_ + bias_;
    // An overflowing signal (absurd flux settings) saturates like any other.
    frame.pixels[i] = std::isnan(counts)
                          ? static_cast<std::uint16_t>(kFullScale)
                          : static_cast<std::uint16_t>(std::clamp(std::nearbyint(counts), 0.0, kFullScale));
  }
  for (const HotPixel& hot : hotPixels_) {
    const int x = hot.x - region.x, y = hot.y - region.y;
    if (x < 0 || y < 0 || x >= region.width || y >= region.height) continue;
    std::uint16_t& pixel = frame.pixels[static_cast<std::size_t>(y) * region.width + x];
    pixel = static_cast<std::uint16_t>(std::min(pixel + hot.counts, kFullScale));
  }
  return frame;
}

}  // namespace nebulor::camera::sim
