// Automatic star selection: the mask's pair chosen on a full frame among a
// brighter star and hot pixels, refused with its reason when there is none,
// the same box as two clicks; and the stars found again after a long cloud.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <sstream>

#include "camera/sim/FrameRenderer.h"
#include "camera/sim/SimServer.h"
#include "flows/AutoSelection.h"
#include "flows/Reacquisition.h"
#include "sky/Scene.h"
#include "sky/SeeingModel.h"
#include "support/FlowRig.h"

namespace nebulor {
namespace {

using namespace std::chrono_literals;

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;

// A flat sky: bias and sky 1100 counts, 30 counts of noise.
stars::Frame skyFrame(std::uint64_t seed) {
  stars::Frame frame{kWidth, kHeight, std::vector<std::uint16_t>(static_cast<std::size_t>(kWidth) * kHeight)};
  std::mt19937_64 random(seed);
  std::normal_distribution<double> sky(1100, 30);
  for (std::uint16_t& pixel : frame.pixels) pixel = static_cast<std::uint16_t>(std::lround(sky(random)));
  return frame;
}

// A Gaussian star image of `counts` counts in all, sampled at the pixel centres.
void addStar(stars::Frame& frame, double x, double y, double counts, double sigma = 1.8) {
  for (int py = std::max(0, static_cast<int>(y) - 15); py <= std::min(kHeight - 1, static_cast<int>(y) + 15);
       ++py) {
    for (int px = std::max(0, static_cast<int>(x) - 15); px <= std::min(kWidth - 1, static_cast<int>(x) + 15);
         ++px) {
      const double r2 = (px - x) * (px - x) + (py - y) * (py - y);
      std::uint16_t& pixel = frame.pixels[static_cast<std::size_t>(py) * kWidth + px];
      const double value =
          pixel + counts / (2 * std::numbers::pi * sigma * sigma) * std::exp(-r2 / (2 * sigma * sigma));
      pixel = static_cast<std::uint16_t>(std::min(value, 65535.0));
    }
  }
}

struct Point {
  double x, y;
};

// Saturated single pixels at random places clear of the given star images
// (a hot pixel on a star image is the star finder's business), and two of
// them as far apart as a pair.
void addHotPixels(stars::Frame& frame, const std::vector<Point>& stars) {
  std::mt19937_64 random(3);
  for (int placed = 0; placed < 40;) {
    const int x = static_cast<int>(random() % kWidth);
    const int y = static_cast<int>(random() % kHeight);
    if (std::any_of(stars.begin(), stars.end(), [&](Point s) { return std::hypot(x - s.x, y - s.y) < 20; })) {
      continue;
    }
    frame.pixels[static_cast<std::size_t>(y) * kWidth + x] = 65535;
    ++placed;
  }
  frame.pixels[300u * kWidth + 300] = 65535;
  frame.pixels[300u * kWidth + 340] = 65535;
}

// Plate scale of the simulator's default camera: 2000 mm, 5.4 um pixels.
const stars::SeparationRange kDefaultRange = stars::plausibleSeparation(2000, 5.4);

TEST(StarPair, FindsTheMasksPairBesideABrighterStarAndHotPixels) {
  // A full frame of the simulator's night: its star images lie where its scene put them.
  const auto settings = camera::sim::parseSimSettings("seed=5");
  const sky::SeeingModel seeing(settings);
  sky::Scene scene(settings, seeing);
  const camera::sim::FrameRenderer renderer(settings, seeing.psfSigma());
  std::mt19937_64 noise(5);
  constexpr double kSeconds = 0.1;
  const sky::SceneState sky = scene.next(0, kSeconds);
  const stars::Frame simulated =
      renderer.render(sky, {0, 0, settings.width, settings.height}, kSeconds, noise);
  const double imageCounts = settings.flux * kSeconds / settings.gain;
  const auto [left, right] =
      std::minmax(sky.stars[0], sky.stars[1], [](auto& a, auto& b) { return a.x < b.x; });

  struct Case {
    const char* name;
    double thirdX, thirdY, thirdShare;  // a single star, its flux in pair images
  };
  const Case cases[] = {
      {"a brighter star too far off", 200, 800, 2.5},
      {"a star at a plausible distance, too bright", left.x - 60, left.y + 80, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    stars::Frame frame = simulated;
    addStar(frame, c.thirdX, c.thirdY, c.thirdShare * imageCounts, seeing.psfSigma());
    addHotPixels(frame, {{left.x, left.y}, {right.x, right.y}, {c.thirdX, c.thirdY}});
    const stars::StarPairChoice choice = stars::chooseStarPair(frame, kDefaultRange);
    ASSERT_TRUE(choice.pair) << choice.refusal;
    EXPECT_NEAR(choice.pair->stars[0].x, left.x, 0.2);
    EXPECT_NEAR(choice.pair->stars[0].y, left.y, 0.2);
    EXPECT_NEAR(choice.pair->stars[1].x, right.x, 0.2);
    EXPECT_NEAR(choice.pair->stars[1].y, right.y, 0.2);
  }
}

TEST(StarPair, RefusesWithItsReasonWhenNoPairFitsTheMask) {
  struct Star {
    double x, y, counts;
  };
  struct Case {
    const char* name;
    std::vector<Star> stars;
    const char* reason;
  };
  // 10 and 120 arcsec at 0.557 arcsec per pixel.
  const Case cases[] = {
      {"hot pixels only", {}, "No star image was found on the full frame."},
      {"one star image", {{600, 500, 1e5}}, "Only one star image was found"},
      {"five times brighter",
       {{600, 500, 1e5}, {640, 510, 5e5}},
       "within a factor 3 in brightness and 18 to 215"},
      {"too far apart", {{300, 500, 1e5}, {700, 500, 1e5}}, "within a factor 3 in brightness and 18 to 215"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    stars::Frame frame = skyFrame(7);
    std::vector<Point> places;
    for (const Star& star : c.stars) {
      addStar(frame, star.x, star.y, star.counts);
      places.push_back({star.x, star.y});
    }
    addHotPixels(frame, places);
    const stars::StarPairChoice choice = stars::chooseStarPair(frame, kDefaultRange);
    EXPECT_FALSE(choice.pair);
    EXPECT_NE(choice.refusal.find(c.reason), std::string::npos) << choice.refusal;
  }
}

TEST(AutoSelection, GivesTheBoxAndPositionsOfTwoClicksOnTheChosenImages) {
  const std::string night = "seed=9";
  testing::TempFolder temp;
  camera::sim::SimServer automatic(camera::sim::parseSimSettings(night));
  MonitorState chosen;
  testing::FakeMonitorUi chosenUi(&chosen);
  AutomationObjects chosenObjects;
  RunStartup(chosen, chosenUi, automatic, chosenObjects, temp.folder());
  AutoSelection selection(chosen, chosenUi, std::nullopt);
  ASSERT_EQ(selection.SelectStarsAutomatically([] { return false; }).outcome,
            AutoSelection::Outcome::selected);
  EXPECT_EQ(chosen.starsSelected, kTrue);

  // The same night, its stars clicked at the nearest pixels of the images chosen.
  const auto pixel = [&chosen](int star) {
    return std::to_string(std::lround(chosen.subframeMinX + chosen.starX[star])) + ":" +
           std::to_string(std::lround(chosen.subframeMinY + chosen.starY[star]));
  };
  camera::sim::SimServer clicked(
      camera::sim::parseSimSettings(night + ",clicks=" + pixel(1) + "+" + pixel(2)));
  MonitorState byHand;
  testing::FakeMonitorUi byHandUi(&byHand);
  AutomationObjects byHandObjects;
  RunStartup(byHand, byHandUi, clicked, byHandObjects, temp.folder());
  StarSelection(byHand, byHandUi).CommandSelect_Click();
  ASSERT_EQ(byHand.starsSelected, kTrue);

  EXPECT_EQ(chosen.subframeMinX, byHand.subframeMinX);
  EXPECT_EQ(chosen.subframeMaxX, byHand.subframeMaxX);
  EXPECT_EQ(chosen.subframeMinY, byHand.subframeMinY);
  EXPECT_EQ(chosen.subframeMaxY, byHand.subframeMaxY);
  EXPECT_EQ(chosen.starX, byHand.starX);
  EXPECT_EQ(chosen.starY, byHand.starY);
}

// A run whose stars disappear behind a cloud after its first reading; the
// cloud either passes, leaving the star 150 pixels off (the mount lost it),
// or stays. Exposures take 0.1 s of the run's clock.
struct CloudRun {
  testing::FlowRig rig;
  std::ostringstream log;
  int fullFrames = 0;

  explicit CloudRun(bool skyClears, int exposureLimit) {
    rig.startUp();
    rig.selectStars({500.2, 400.4, 20}, {540.3, 414.6, 20});
    stars::Frame moved = skyFrame(11);
    addStar(moved, 650.4, 320.7, 1e5);
    addStar(moved, 690.6, 334.9, 1e5);
    const auto clearFrame = std::make_shared<const stars::Frame>(std::move(moved));
    const auto overcastFrame = std::make_shared<const stars::Frame>(skyFrame(12));

    Reacquisition::Clock::time_point now{};
    AutoSelection selection(rig.state, rig.ui, std::nullopt);
    Reacquisition reacquisition(selection, log, [&now] { return now; });
    rig.cycle.setReacquisition(&reacquisition);
    rig.camera().imageFor = [&](int exposure) {
      now += 100ms;
      testing::ScriptedImage image;
      const testing::CallLog& calls = rig.server.calls;
      if (calls[calls.size() - 2] == "SetFullFrame") {
        ++fullFrames;
        image.frame = skyClears ? clearFrame : overcastFrame;
      } else if (exposure > 25 && (fullFrames == 0 || !skyClears)) {
        image.centroids = {{0, 0, 0}, {0, 0, 0}};  // hidden
      }
      if (exposure >= exposureLimit) rig.state.stopRequested = kTrue;
      return image;
    };
    rig.ui.onUpdateDisplay = [this] {
      if (rig.state.historyCount > 3) rig.state.stopRequested = kTrue;  // three readings
    };
    rig.cycle.CommandStartAbort_Click();
  }

  float sensorX(int star) const { return rig.state.subframeMinX + rig.state.starX[star]; }
  float sensorY(int star) const { return rig.state.subframeMinY + rig.state.starY[star]; }
};

TEST(Reacquisition, FindsTheStarsAgainAfterACloudLongerThanTheLimitAtMostOnceAMinute) {
  {
    SCOPED_TRACE("the cloud passes");
    CloudRun run(true, 2000);
    EXPECT_EQ(run.fullFrames, 1);
    EXPECT_NE(run.log.str().find("Stars lost: 50 exposures in a row rejected"), std::string::npos)
        << run.log.str();
    EXPECT_EQ(run.rig.state.historyCount, 4) << "readings go on after the cloud";
    EXPECT_NEAR(run.sensorX(1), 650.4, 1);
    EXPECT_NEAR(run.sensorY(1), 320.7, 1);
    EXPECT_NEAR(run.sensorX(2), 690.6, 1);
    EXPECT_EQ(run.rig.camera().subframe["StartX"], run.rig.state.subframeMinX);
    // One log for the run: its header once, a row per measurement exposure.
    const std::string log = run.rig.temp.read(kRawLogFileName);
    EXPECT_EQ(log.find("Local Time"), log.rfind("Local Time"));
    // Neither the full frames nor the exposure the stop discarded have a row.
    EXPECT_EQ(run.rig.logRows().size(),
              static_cast<std::size_t>(run.rig.camera().exposures - 1 - run.fullFrames - 1));
    EXPECT_TRUE(run.rig.ui.messages.empty());
  }
  {
    SCOPED_TRACE("the cloud stays for 80 s");
    CloudRun run(false, 800);
    EXPECT_EQ(run.fullFrames, 2);  // after 5 s of cloud, then a minute later
    EXPECT_NE(run.log.str().find("Stars not found again: No star image was found"), std::string::npos)
        << run.log.str();
    EXPECT_NEAR(run.sensorX(1), 500.2, 1);  // the box stays where it was
    EXPECT_NEAR(run.sensorY(2), 414.6, 1);
  }
}

}  // namespace
}  // namespace nebulor
