// The wind from the motion: the frozen layer's response against the
// simulator's own screens, its fit, and the two ways a reading measures it.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "core/Config.h"
#include "measure/FrozenFlow.h"
#include "measure/WindFromExposures.h"
#include "measure/WindFromFrames.h"
#include "measure/WindResponse.h"
#include "sky/ScreenTurbulence.h"
#include "stars/CentroidResponse.h"

namespace nebulor {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kR0 = 0.1;               // m
constexpr double kLine = 20 * kPi / 180;  // the simulator's line joining the images, from x
constexpr double kPixel = 5.4e-6 / 2.0;   // radians per pixel of the default telescope
const ExposureGeometry kGeometry{1, 2000, 5.4f};

// Differential G-tilt along and across the line of `exposures` exposures of
// `seconds`, in pixels; frames flow on from each other when `interval` > 0.
std::vector<MotionShares> screenMotion(double wind, double direction, double seconds, int exposures,
                                       double interval = 0, std::vector<bool>* fresh = nullptr) {
  sky::SkySettings settings;
  settings.turbulence = sky::Turbulence::screen;
  settings.wind = wind;
  settings.windDirection = 20 + direction;
  sky::ScreenTurbulence turbulence(settings, kR0, 7);
  turbulence.setFrameInterval(interval);
  std::vector<MotionShares> motion;
  for (int i = 0; i < exposures; ++i) {
    const auto tilts = turbulence.exposure(seconds);
    if (fresh) fresh->push_back(turbulence.startedFreshAir());
    const double dx = tilts[1].x - tilts[0].x, dy = tilts[1].y - tilts[0].y;
    motion.push_back({(dx * std::cos(kLine) + dy * std::sin(kLine)) / kPixel,
                      (-dx * std::sin(kLine) + dy * std::cos(kLine)) / kPixel});
  }
  return motion;
}

MotionShares meanSquare(const std::vector<MotionShares>& motion) {
  MotionShares sum;
  for (const MotionShares& m : motion) sum.along += m.along * m.along, sum.across += m.across * m.across;
  return {sum.along / motion.size(), sum.across / motion.size()};
}

// Each direction's share an exposure of 10 ms keeps, from the same screens
// exposed for no time and for 10 ms.
TEST(FrozenFlow, KeepsWhatTheSimulatorsScreensKeep) {
  const FrozenFlow flow(0.05, 0.15, 20);
  struct Case {
    double wind;       // m/s
    double direction;  // degrees from the line
  };
  for (const Case c : {Case{10, 20}, Case{10, 70}, Case{20, 20}}) {
    SCOPED_TRACE(testing::Message() << c.wind << " m/s at " << c.direction);
    const MotionShares still = meanSquare(screenMotion(c.wind, c.direction, 0, 12000));
    const MotionShares exposed = meanSquare(screenMotion(c.wind, c.direction, 0.01, 12000));
    const MotionShares kept = flow.kept(c.wind * 0.01 / 0.05, c.direction * kPi / 180);
    EXPECT_NEAR(exposed.along / still.along / kept.along, 1, 0.05);
    EXPECT_NEAR(exposed.across / still.across / kept.across, 1, 0.05);
  }
}

// Two neighbouring frames averaged are one exposure of twice the length.
TEST(FrozenFlow, NeighboursMakeAnExposureOfTwiceTheLength) {
  const FrozenFlow flow(0.05, 0.15, 20);
  for (const double path : {0.3, 2.0, 7.0}) {
    for (const double angle : {0.0, 0.6, 1.5}) {
      const MotionShares single = flow.kept(path, angle);
      const MotionShares next = flow.covariance(path, angle, 1);
      const MotionShares twice = flow.kept(2 * path, angle);
      EXPECT_NEAR((single.along + next.along) / 2, twice.along, 2e-3) << path << ' ' << angle;
      EXPECT_NEAR((single.across + next.across) / 2, twice.across, 2e-3) << path << ' ' << angle;
    }
  }
}

// Measurements made by a known layer, without noise, give that layer back;
// two layers of very different speeds fit none.
TEST(WindResponse, FindsTheLayerThatMadeTheMeasurements) {
  const FrozenFlow flow(0.05, 0.15, 20);
  const auto response = WindResponse::forMask(defaultConfig(), 1);
  struct Layer {
    double weight, path, degrees;
  };
  const std::vector<std::vector<Layer>> skies = {
      {{1, 0.5, 10}}, {{1, 2, 20}}, {{1, 4, 45}}, {{1, 8, 80}}, {{0.6, 1, 20}, {0.4, 5, 70}}};
  for (const std::vector<Layer>& sky : skies) {
    SCOPED_TRACE(testing::Message() << sky.size() << " layers, " << sky[0].path << " diameters at "
                                    << sky[0].degrees);
    MotionShares kept, twice, next, afterNext;
    for (const Layer& layer : sky) {
      const double angle = layer.degrees * kPi / 180;
      const auto add = [&layer](MotionShares& sum, const MotionShares& part) {
        sum.along += layer.weight * part.along, sum.across += layer.weight * part.across;
      };
      add(kept, flow.kept(layer.path, angle));
      add(twice, flow.kept(2 * layer.path, angle));
      add(next, flow.covariance(layer.path, angle, 1));
      add(afterNext, flow.covariance(layer.path, angle, 2));
    }
    const Measured balance{kept.along / kept.across, 0.01};
    const WindFit pairs = response->fitExposurePairs({twice.along / kept.along, 0.01},
                                                     {twice.across / kept.across, 0.01}, balance);
    const WindFit frames = response->fitNeighbours({Measured{next.along / kept.along, 0.01},
                                                    {next.across / kept.across, 0.01},
                                                    {afterNext.along / kept.along, 0.01},
                                                    {afterNext.across / kept.across, 0.01}},
                                                   balance);
    if (sky.size() > 1) {
      EXPECT_FALSE(frames.oneLayer);
      continue;
    }
    for (const WindFit& fit : {pairs, frames}) {
      EXPECT_NEAR(fit.path / sky[0].path, 1, 0.03);
      EXPECT_NEAR(fit.kept.along / kept.along, 1, 0.02);
      EXPECT_NEAR(fit.kept.across / kept.across, 1, 0.02);
      EXPECT_LT(fit.misfit, 1);
    }
  }
}

// A minute of frames of 10 ms from the simulator's frozen screen: the wind
// within its stated error and a tenth; frames each in fresh air tell none.
TEST(WindFromFrames, TimesTheWindOfAFrozenLayer) {
  const Config config = defaultConfig();
  for (const double wind : {10.0, 30.0, 0.0}) {
    SCOPED_TRACE(testing::Message() << wind << " m/s");
    // Still air in the simulator means fresh air every frame.
    std::vector<bool> fresh;
    const std::vector<MotionShares> motion = screenMotion(wind, 20, 0.01, 6000, wind > 0 ? 0.01 : 0, &fresh);
    std::vector<float> along(motion.size() + 1), across(motion.size() + 1), noise(motion.size() + 1);
    std::vector<std::uint64_t> sequence(motion.size() + 1);
    // The finder's centroid moves more than the G-tilt, and more across than along.
    const double alongScale = std::sqrt(finderLongCoefficient(3, 0.5) / gTiltLongCoefficient(3));
    const double acrossScale = std::sqrt(finderTransCoefficient(3, 0.5) / gTiltTransCoefficient(3));
    for (std::size_t i = 0; i < motion.size(); ++i) {
      along[i + 1] = static_cast<float>(motion[i].along * alongScale);
      across[i + 1] = static_cast<float>(motion[i].across * acrossScale);
      sequence[i + 1] = sequence[i] + (fresh[i] ? 2 : 1);  // as the simulated camera counts them
    }
    const MotionSeries series{
        along.data(), across.data(), {nullptr, noise.data(), noise.data()}, static_cast<int>(motion.size())};
    const WindCorrection found =
        CorrectFramesByWind(series, {sequence.data(), 0.01, 0.01}, config, kGeometry);
    if (wind == 0) {
      EXPECT_FALSE(found.coherence);
      EXPECT_NE(found.unknown.find("neighbouring frames"), std::string::npos) << found.unknown;
      continue;
    }
    ASSERT_TRUE(found.coherence && found.coherence->tau0) << found.unknown;
    EXPECT_NEAR(found.coherence->wind / wind, 1, 0.1);
    EXPECT_LT(std::abs(found.coherence->wind - wind), 3 * found.coherence->windError);
  }
}

// Readings of t and 2t whose variances a known layer made: the wind once
// the pool holds enough of them, and again from the start when t changes.
TEST(ExposurePairWind, GathersReadingsThenTellsTheWind) {
  const Config config = defaultConfig();
  const FrozenFlow flow(0.05, 0.15, 20);
  const double angle = 20 * kPi / 180;
  const auto reading = [&](double path) {
    const MotionShares kept = flow.kept(path, angle);
    const MotionShares twice = flow.kept(2 * path, angle);
    // The same seeing, 1 arcsec, once each direction's loss is taken off.
    return std::pair{std::array<std::optional<DirectionEstimate>, 2>{
                         DirectionEstimate{std::pow(kept.along, 0.6), 0.1, 1e4, kept.along},
                         DirectionEstimate{std::pow(kept.across, 0.6), 0.1, 1e4, kept.across}},
                     std::array<std::optional<DirectionEstimate>, 2>{
                         DirectionEstimate{std::pow(twice.along, 0.6), 0.1, 1e4, twice.along},
                         DirectionEstimate{std::pow(twice.across, 0.6), 0.1, 1e4, twice.across}}};
  };
  ExposurePairWind wind;
  struct Step {
    double exposure;  // s
    int readings;
    bool known;
  };
  for (const Step step :
       {Step{0.01, kLeastPooledReadings - 1, false}, Step{0.01, 1, true}, Step{0.005, 1, false}}) {
    WindCorrection found;
    for (int i = 0; i < step.readings; ++i) {
      const auto [single, twice] = reading(10 * step.exposure / 0.05);
      found = wind.correct(single, twice, step.exposure, config);
    }
    SCOPED_TRACE(testing::Message() << step.exposure << " s");
    ASSERT_EQ(found.coherence.has_value(), step.known) << found.unknown;
    if (!step.known) {
      EXPECT_NE(found.unknown.find("gathering"), std::string::npos);
      continue;
    }
    EXPECT_NEAR(found.coherence->wind, 10, 0.2);
    EXPECT_NEAR(found.best->seeing, 1, 0.01);
  }
}

}  // namespace
}  // namespace nebulor
