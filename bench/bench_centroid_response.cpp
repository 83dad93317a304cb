// How the star finder's centroid follows the turbulence on images formed by
// Fourier optics, against each hole's G-tilt: the variance of the
// differential motion the finder measures (its own noise taken off) over
// that of the G-tilt, along and across the line joining the images, for
// D / r0, the sampling (lambda / D in pixels, set by the focal length) and
// the star's flux (which sets how the fit weighs the image's core against
// its wings). Still air, zenith, no shake or drift; counters `along` and
// `across`, their standard errors `along_se` and `across_se`.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>

#include "camera/sim/FrameRenderer.h"
#include "camera/sim/SimSettings.h"
#include "sky/Scene.h"
#include "sky/SeeingModel.h"
#include "stars/StarFinder.h"

namespace {

using namespace nebulor::camera;
namespace sky = nebulor::sky;
using namespace nebulor::stars;

constexpr int kExposures = 3000;
constexpr int kHalfBox = 32;  // pixels round each star image

struct Moments {
  double finder = 0, gTilt = 0, cross = 0, noise = 0;
};

// Variance ratio and its standard error from the regression of the finder's
// motion on the G-tilt's (the two move together, so the ratio is far better
// known than either variance).
void report(benchmark::State& state, const Moments& m, int n, const char* name) {
  const double ratio = (m.finder - m.noise) / m.gTilt;
  const double slope = m.cross / m.gTilt;
  const double residual = std::max(m.finder - slope * m.cross, 0.0);
  state.counters[name] = ratio;
  state.counters[std::string(name) + "_se"] = 2 * std::sqrt(residual / m.gTilt / n) * std::sqrt(ratio);
}

void BM_CentroidResponse(benchmark::State& state) {
  const double dOverR0 = static_cast<double>(state.range(0)) / 100;
  const double lambdaOverD = static_cast<double>(state.range(1)) / 100;  // pixels
  const double flux = static_cast<double>(state.range(2));
  const double distance = static_cast<double>(state.range(3));  // mm, holes of 50 mm
  // lambda / D = 500 nm / 50 mm = 2.063 arcsec.
  const double seeing = 2.0627 * dOverR0;
  const double focal = 5.4e-3 / (2.0627 / lambdaOverD * 4.8481368e-6);  // mm
  const std::string text =
      "turbulence=screen,images=fourier,wind=0,tiptilt=0,drift=0,altitude=90,altrate=0,"
      "seeing=" +
      std::to_string(seeing) + ",focallen=" + std::to_string(focal) + ",flux=" + std::to_string(flux) +
      ",distance=" + std::to_string(distance) + ",separation=" + std::to_string(12 * lambdaOverD + 20);
  const sim::SimSettings settings = sim::parseSimSettings(text);
  const sky::SeeingModel model(settings);
  std::mt19937_64 noise(7);
  const sim::FrameRenderer renderer(settings, model.psfSigma());
  const double ux = std::cos(settings.angle * 3.14159265358979 / 180),
               uy = std::sin(settings.angle * 3.14159265358979 / 180);
  for (auto _ : state) {
    sky::Scene scene(settings, model);
    Moments along, across;
    double sums[6] = {};
    std::vector<std::array<double, 5>> rows;
    for (int e = 0; e < kExposures; ++e) {
      const sky::SceneState sky = scene.next(e * 0.01, 0.01);
      std::array<double, 4> found{};
      int lost = 0;
      double noiseVariance = 0;
      for (std::size_t s = 0; s < 2; ++s) {
        const SensorBox box{static_cast<int>(sky.stars[s].x) - kHalfBox,
                            static_cast<int>(sky.stars[s].y) - kHalfBox, 2 * kHalfBox + 1, 2 * kHalfBox + 1};
        const Frame frame = renderer.render(sky, box, 0.01, noise);
        const Centroid c = findStarNear(frame, sky.stars[s].x - box.x, sky.stars[s].y - box.y,
                                        NoiseModel{settings.gain, settings.readNoise});
        if (!c.clean()) ++lost;
        found[2 * s] = c.x + box.x;
        found[2 * s + 1] = c.y + box.y;
        noiseVariance += c.error * c.error;
      }
      if (lost > 0) continue;
      const double fx = found[2] - found[0], fy = found[3] - found[1];
      const double gx = sky.stars[1].x - sky.stars[0].x, gy = sky.stars[1].y - sky.stars[0].y;
      rows.push_back(
          {fx * ux + fy * uy, -fx * uy + fy * ux, gx * ux + gy * uy, -gx * uy + gy * ux, noiseVariance});
      for (int k = 0; k < 4; ++k) sums[k] += rows.back()[static_cast<std::size_t>(k)];
    }
    const double n = static_cast<double>(rows.size());
    for (const auto& r : rows) {
      const double fl = r[0] - sums[0] / n, ft = r[1] - sums[1] / n, gl = r[2] - sums[2] / n,
                   gt = r[3] - sums[3] / n;
      along.finder += fl * fl / n;
      along.gTilt += gl * gl / n;
      along.cross += fl * gl / n;
      across.finder += ft * ft / n;
      across.gTilt += gt * gt / n;
      across.cross += ft * gt / n;
      along.noise += r[4] / n;
    }
    across.noise = along.noise;
    report(state, along, static_cast<int>(rows.size()), "along");
    report(state, across, static_cast<int>(rows.size()), "across");
    state.counters["lost"] = kExposures - static_cast<double>(rows.size());
  }
}
// D / r0 x 100, lambda / D in pixels x 100, flux in electrons per second,
// hole distance in mm.
BENCHMARK(BM_CentroidResponse)
    ->ArgsProduct({{25, 50, 100, 150, 200, 300}, {370}, {1000000}, {150}})
    ->ArgsProduct({{50, 100, 200}, {185, 555}, {1000000}, {150}})
    ->ArgsProduct({{50, 100, 200}, {370}, {100000}, {150}})
    ->ArgsProduct({{50, 100, 200}, {370}, {1000000}, {100, 250}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
