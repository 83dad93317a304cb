// Star images formed by Fourier optics against theory computed by other
// means: the Airy pattern over the pixels, the intensity centroid against the
// screen's G-tilt, the long-exposure width from the transfer function.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <numbers>

#include "sky/FourierImager.h"
#include "sky/LayeredTurbulence.h"

namespace nebulor::sky {
namespace {

constexpr double kPi = std::numbers::pi;

struct Optics {  // of lambda / D (1e-5 rad: 500 nm through 50 mm) of `pixels`, in still air
  SkySettings settings;
  double scale;  // radians per pixel
};

Optics optics(double pixels) {
  SkySettings s;
  s.turbulence = Turbulence::screen;
  s.wind = 0;
  s.focalLength = s.pixelSize / 1000 / std::tan(1e-5 / pixels);
  return {s, std::atan(s.pixelSize / (s.focalLength * 1000))};
}

template <typename T>  // on a square grid whose first pixel is (x0, y0)
std::array<double, 2> centroid(const std::vector<T>& values, int x0, int y0) {
  const int side = static_cast<int>(std::lround(std::sqrt(values.size())));
  double sum = 0, x = 0, y = 0;
  for (int i = 0; i < side * side; ++i) {
    sum += values[static_cast<std::size_t>(i)];
    x += values[static_cast<std::size_t>(i)] * (x0 + i % side);
    y += values[static_cast<std::size_t>(i)] * (y0 + i / side);
  }
  return {x / sum, y / sum};
}

// Hole 1's image and G-tilt (pixels) in `count` still exposures, r0 in metres.
void exposures(const Optics& o, double r0, double reach, int count,
               const std::function<void(const ImageStamp&, double, double)>& use) {
  const FourierImager imager(o.settings, o.scale, reach);
  LayeredTurbulence turbulence(o.settings, r0, 3, imager.pupilPoints());
  std::vector<float> phases;
  for (int e = 0; e < count; ++e) {
    const auto tilt = turbulence.exposure(0.01, &phases);
    const double tx = tilt[0].x / o.scale, ty = tilt[0].y / o.scale;
    use(imager.image(0, 0, tx, ty, std::span<const float>(phases).first(phases.size() / 2), 1.0), tx, ty);
  }
}

// Largest difference, over the peak pixel's share, from the Airy pattern
// (pi / 4) (2 J1(pi r) / (pi r))^2 per (lambda / D)^2 integrated over pixels
// round an image off their centres: a 1% error of scale fails.
double airyMismatch() {
  const double pixels = 3.7, cx = 0.3, cy = -0.2;
  const Optics o = optics(pixels);
  const FourierImager imager(o.settings, o.scale);
  const ImageStamp s =
      imager.image(cx, cy, cx, cy, std::vector<float>(imager.pupilPoints().size(), 0.0F), 1.0);
  double worst = 0, peak = 0;
  for (int p = 0; p < 49; ++p) {  // 7 x 7 pixels
    const int x = p % 7 - 3, y = p / 7 - 3;
    double direct = 0;
    for (int i = 0; i < 576; ++i) {  // 24 x 24 points in the pixel
      const double v =
          kPi / pixels * std::hypot(x - 0.5 + (i % 24 + 0.5) / 24 - cx, y - 0.5 + (i / 24 + 0.5) / 24 - cy);
      direct += kPi / 4 * std::pow(2 * std::cyl_bessel_j(1.0, v) / v, 2) / 576 / (pixels * pixels);
    }
    peak = std::max(peak, direct);
    worst = std::max(worst,
                     std::abs(s.shares[static_cast<std::size_t>((y - s.y0) * s.size + x - s.x0)] - direct));
  }
  return worst / peak;
}

// Intensity centroid minus G-tilt, RMS, over the G-tilt's RMS at D / r0 = 1, in `layers` (none: one still).
double centroidOffGTilt(const std::vector<WindLayer>& layers) {
  Optics o = optics(3.7);
  o.settings.layers = layers;
  double difference = 0, motion = 0;
  exposures(o, 0.05, 7.0, 200, [&](const ImageStamp& stamp, double tx, double ty) {
    const auto [x, y] = centroid(stamp.shares, stamp.x0, stamp.y0);
    difference += std::pow(x - tx, 2) + std::pow(y - ty, 2);
    motion += tx * tx + ty * ty;
  });
  return std::sqrt(difference / motion);
}

double centroidAgainstGTilt() { return centroidOffGTilt({}); }
double centroidThroughLayers() { return centroidOffGTilt({{0.5, 5, 20}, {0.5, 25, 110}}); }

double halfWidthAtHalfMaximum(const std::function<double(int)>& profile) {
  int r = 1;
  while (profile(r) >= profile(0) / 2) ++r;
  return r - 1 + (profile(r - 1) - profile(0) / 2) / (profile(r - 1) - profile(r));
}

// Long-exposure FWHM at D / r0 = 3 (outer scale 20 m) over the theory's: the
// hole's transfer function times exp(-D(lambda f) / 2), D the Von Karman
// structure function, Hankel-transformed. (Kolmogorov screens' frozen large
// scales make one run's width scatter by 4%.)
double longExposureWidth() {
  const double pixels = 8, dOverR0 = 3;
  const int side = 255;  // the sum of the images, centred on the flat image
  std::vector<double> sum(side * side, 0.0), ring(128, 0.0), count(128, 0.0);
  exposures(optics(pixels), 0.05 / dOverR0, 6.0, 4000, [&](const ImageStamp& stamp, double, double) {
    for (int i = 0; i < stamp.size * stamp.size; ++i) {
      const int x = stamp.x0 + i % stamp.size + side / 2, y = stamp.y0 + i / stamp.size + side / 2;
      if (x >= 0 && y >= 0 && x < side && y < side)
        sum[static_cast<std::size_t>(y * side + x)] += stamp.shares[static_cast<std::size_t>(i)];
    }
  });
  const auto [cx, cy] = centroid(sum, 0, 0);  // profiles round the long exposure's centroid
  for (int i = 0; i < side * side; ++i) {
    const auto r = static_cast<std::size_t>(std::hypot(i % side - cx, i / side - cy) + 0.5);
    if (r < ring.size()) {
      ring[r] += sum[static_cast<std::size_t>(i)];
      count[r] += 1;
    }
  }
  const double measured = halfWidthAtHalfMaximum(
      [&](int r) { return ring[static_cast<std::size_t>(r)] / count[static_cast<std::size_t>(r)]; });
  const double theory = halfWidthAtHalfMaximum([&](int r) {
    double sum = 0;
    for (double nu = 0.00025; nu < 1; nu += 0.0005) {  // D / lambda
      const double x = 2 * kPi * nu * 0.05 / 20;       // 2 pi r / L0 for r = nu D
      const double structure = 0.17253 * std::pow(20 * dOverR0 / 0.05, 5.0 / 3.0) *
                               (1 - 1.00563 * std::pow(x, 5.0 / 6.0) * std::cyl_bessel_k(5.0 / 6.0, x));
      sum += (std::acos(nu) - nu * std::sqrt(1 - nu * nu)) * std::exp(-structure / 2) *
             std::cyl_bessel_j(0.0, 2 * kPi * nu * r / pixels) * nu;
    }
    return sum;
  });
  return measured / theory;
}

TEST(FourierImager, ImagesAgreeWithTheory) {
  struct Check {
    const char* what;
    std::function<double()> measure;
    double expected, tolerance;
  };
  const std::vector<Check> checks{
      {"pixels of the Airy pattern, off by at most this share of the peak", airyMismatch, 0, 0.01},
      // 2.4%: the wings beyond 7 lambda / D and the grid's edge cells.
      {"intensity centroid minus G-tilt, RMS over the motion's", centroidAgainstGTilt, 0, 0.03},
      // The pupil's phase is the layers' summed, as its G-tilt is.
      {"the same through two moving layers", centroidThroughLayers, 0, 0.03},
      {"long-exposure FWHM at D / r0 = 3 over the theory's", longExposureWidth, 1, 0.05},
  };
  for (const Check& c : checks) EXPECT_NEAR(c.measure(), c.expected, c.tolerance) << c.what;
}

}  // namespace
}  // namespace nebulor::sky
