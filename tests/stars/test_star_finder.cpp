// Behaviour of the star finder on the simulator's frames: exact centres,
// neighbours, status at the frame edge and at saturation, degenerate input,
// the brightest-stars search. Its accuracy targets are in
// test_star_finder_targets.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "camera/sim/FrameRenderer.h"
#include "stars/StarFinder.h"

namespace nebulor::stars {
namespace {

using camera::sim::FrameRenderer;
using camera::sim::SimSettings;
using sky::SceneState;

struct StarField {
  double flux = 2e5;  // electrons per star image over the exposure
  double sky = 20;    // electrons per pixel
  double readNoise = 5;
  double gain = 1;
  double bias = 100;
  double psfSigma = 1.6;  // pixels
  int width = 120;
  int height = 100;
};

Frame render(const StarField& field, std::vector<sky::StarImage> stars, std::uint64_t seed) {
  SimSettings settings;
  settings.flux = field.flux;
  settings.sky = field.sky;
  settings.readNoise = field.readNoise;
  settings.gain = field.gain;
  settings.bias = field.bias;
  const FrameRenderer renderer(settings, field.psfSigma);
  SceneState scene;
  scene.stars = {stars.at(0), stars.size() > 1 ? stars[1] : sky::StarImage{-1000, -1000}};
  std::mt19937_64 noise(seed);
  return renderer.render(scene, camera::SensorBox{0, 0, field.width, field.height}, 1.0, noise);
}

TEST(StarFinder, NoiselessStarsAnywhereOnAPixelAreCentredExactly) {
  StarField field;
  field.sky = 0;
  field.readNoise = 0;
  field.flux = 3e6;  // photon noise moves the centroid by about 0.001 pixel
  field.gain = 10;   // keeps the peak below full scale
  for (const double dx : {0.0, 0.25, 0.5, -0.37}) {
    const sky::StarImage truth{60 + dx, 50 - dx};
    const Centroid m = findStarNear(render(field, {truth}, 7), 60, 50);
    EXPECT_NEAR(m.x, truth.x, 0.01) << dx;
    EXPECT_NEAR(m.y, truth.y, 0.01) << dx;
  }
}

TEST(StarFinder, SecondStarFortyPixelsAwayDoesNotPullTheCentroid) {
  const StarField field;
  const sky::StarImage star1{40.3, 50.6};
  const sky::StarImage star2{78.1, 63.7};  // about 40 pixels away, brighter would not matter
  const Frame frame = render(field, {star1, star2}, 3);
  const Centroid m1 = findStarNear(frame, 40, 51);
  const Centroid m2 = findStarNear(frame, 78, 64);
  EXPECT_NEAR(m1.x, star1.x, 0.05);
  EXPECT_NEAR(m1.y, star1.y, 0.05);
  EXPECT_NEAR(m2.x, star2.x, 0.05);
  EXPECT_NEAR(m2.y, star2.y, 0.05);
}

TEST(StarFinder, AbsentOrBuriedStarScoresBelowTen) {
  StarField noiseOnly;
  noiseOnly.flux = 0;
  StarField buried;
  buried.flux = 150;  // peak about 1.5 noise units
  buried.sky = 100;
  buried.readNoise = 10;
  for (std::uint64_t seed = 1; seed <= 50; ++seed) {
    EXPECT_LT(findStarNear(render(noiseOnly, {{60, 50}}, seed), 60, 50).score, kCleanDetection) << seed;
    const Centroid m = findStarNear(render(buried, {{60, 50}}, seed), 60, 50);
    EXPECT_LT(m.score, kCleanDetection) << seed;
    EXPECT_EQ(m.status, StarStatus::faint) << seed;
  }
}

TEST(StarFinder, SaturatedStarIsFlaggedAndStillCentred) {
  StarField field;
  field.flux = 5e7;
  const sky::StarImage truth{60.3, 49.8};
  const Frame frame = render(field, {truth}, 5);
  const Centroid m = findStarNear(frame, 60, 50);
  EXPECT_EQ(m.status, StarStatus::saturated);
  EXPECT_NEAR(m.x, truth.x, 0.2);
  EXPECT_NEAR(m.y, truth.y, 0.2);
}

TEST(StarFinder, StarAtTheFrameEdgeIsFoundWithoutReadingOutside) {
  const StarField field;
  // Every corner and side; the finder is built with bounds-checked pixel
  // access in this test, so a read outside the frame aborts the test.
  const std::vector<sky::StarImage> places{{0.4, 50},  {119.2, 50}, {60, 0.3},
                                           {60, 99.4}, {0.2, 0.1},  {119, 99}};
  for (const sky::StarImage& truth : places) {
    const Frame frame = render(field, {truth}, 9);
    const Centroid m = findStarNear(frame, truth.x, truth.y);
    EXPECT_EQ(m.status, StarStatus::nearEdge) << truth.x << "," << truth.y;
    // Only part of the image is on the frame: its centroid lies inward.
    EXPECT_NEAR(m.x, truth.x, 2.0);
    EXPECT_NEAR(m.y, truth.y, 2.0);
  }
}

struct Degenerate {
  const char* name;
  Frame frame;
  double x, y;
  StarStatus status;
};

Frame filled(int width, int height, std::uint16_t value) {
  return Frame{width, height, std::vector<std::uint16_t>(static_cast<std::size_t>(width) * height, value)};
}

TEST(StarFinder, DegenerateFramesAndPointsNeverCrash) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<Degenerate> cases{
      {"zeros", filled(50, 40, 0), 20, 20, StarStatus::faint},
      {"saturated", filled(50, 40, 65535), 20, 20, StarStatus::faint},
      {"one pixel", filled(1, 1, 500), 0, 0, StarStatus::faint},
      {"one pixel, point off", filled(1, 1, 500), 1, 0, StarStatus::outsideFrame},
      {"left of frame", filled(50, 40, 100), -0.6, 20, StarStatus::outsideFrame},
      {"below frame", filled(50, 40, 100), 20, 39.6, StarStatus::outsideFrame},
      {"far away", filled(50, 40, 100), 1e12, -1e12, StarStatus::outsideFrame},
      {"not a number", filled(50, 40, 100), nan, 3, StarStatus::outsideFrame},
      {"empty frame", Frame{}, 0, 0, StarStatus::outsideFrame},
      {"short pixel buffer", Frame{50, 40, std::vector<std::uint16_t>(10, 100)}, 2, 0,
       StarStatus::outsideFrame},
      {"one row", filled(30, 1, 100), 15, 0, StarStatus::faint},
  };
  for (const Degenerate& c : cases) {
    const Centroid m = findStarNear(c.frame, c.x, c.y);
    EXPECT_EQ(m.status, c.status) << c.name;
    EXPECT_LT(m.score, kCleanDetection) << c.name;
  }
}

TEST(StarFinder, BrightestStarsComeBrightestFirst) {
  StarField brightField;
  brightField.width = 300;
  brightField.height = 200;
  brightField.flux = 4e5;
  StarField dimField = brightField;  // star light alone, added to the first frame
  dimField.flux = 2e5;
  dimField.sky = 0;
  dimField.readNoise = 0;
  dimField.bias = 0;
  const sky::StarImage bright{220.4, 150.2};
  const sky::StarImage dimmer{60.7, 40.1};
  Frame frame = render(brightField, {bright}, 1);
  const Frame dim = render(dimField, {dimmer}, 2);
  for (std::size_t i = 0; i < frame.pixels.size(); ++i)
    frame.pixels[i] = static_cast<std::uint16_t>(frame.pixels[i] + dim.pixels[i]);

  const std::vector<Centroid> stars = findBrightestStars(frame, 2);
  ASSERT_EQ(stars.size(), 2u);
  EXPECT_NEAR(stars[0].x, bright.x, 0.1);
  EXPECT_NEAR(stars[0].y, bright.y, 0.1);
  EXPECT_NEAR(stars[1].x, dimmer.x, 0.1);
  EXPECT_NEAR(stars[1].y, dimmer.y, 0.1);
  EXPECT_EQ(findBrightestStars(filled(1, 1, 0), 2).size(), 1u);
  EXPECT_TRUE(findBrightestStars(Frame{}, 2).empty());
}

TEST(StarFinder, BrightestStarsNeverReturnOneStarTwice) {
  // One broad, bright star and nothing else: its wings outshine every other
  // peak, and a search from a wing pixel finds the star itself again.
  StarField field;
  field.width = 200;
  field.height = 150;
  field.psfSigma = 4;
  field.flux = 3e6;
  field.gain = 10;
  const sky::StarImage star{100.3, 70.6};
  const std::vector<Centroid> stars = findBrightestStars(render(field, {star}, 4), 3);
  ASSERT_FALSE(stars.empty());
  EXPECT_NEAR(stars[0].x, star.x, 0.1);
  EXPECT_NEAR(stars[0].y, star.y, 0.1);
  for (std::size_t i = 1; i < stars.size(); ++i) {
    EXPECT_GT(std::hypot(stars[i].x - star.x, stars[i].y - star.y), 12) << i;
    EXPECT_FALSE(stars[i].clean()) << i;  // only noise is left to find
  }
}

}  // namespace
}  // namespace nebulor::stars
