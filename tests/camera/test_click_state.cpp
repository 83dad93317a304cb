// Click state transitions as the star selection polls them: window presses
// short and long, scripted points, and the two brightest stars of an image.
#include <gtest/gtest.h>

#include <vector>

#include "camera/ClickState.h"

namespace nebulor::camera {
namespace {

Frame blank() { return Frame{60, 40, std::vector<std::uint16_t>(60 * 40, 100)}; }

// The selection's wait for one star: until a click is awaited and the
// button is up, then until it goes down; returns the click position.
// `between` runs on every pass of the second wait (the user's hand).
template <typename Hand>
ClickPoint awaitClick(ClickState& clicks, Hand between, int maxPolls = 100) {
  int polls = 0;
  while ((clicks.clickNew() == 0 || clicks.mouseDown()) && ++polls < maxPolls) between();
  while (!clicks.mouseDown() && ++polls < maxPolls) between();
  EXPECT_LT(polls, maxPolls) << "the wait never ended";
  return {clicks.clickX(), clicks.clickY()};
}

ClickPoint awaitClick(ClickState& clicks) {
  return awaitClick(clicks, [] {});
}

TEST(ClickState, NoClickIsAwaitedBeforeAnImageIsShown) {
  ClickState clicks;
  clicks.scriptClicks({{5, 6}});
  EXPECT_EQ(clicks.clickNew(), 0);
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(clicks.mouseDown());
  clicks.frameArrived(blank());
  EXPECT_NE(clicks.clickNew(), 0);
  EXPECT_EQ(awaitClick(clicks), (ClickPoint{5, 6}));
}

TEST(ClickState, WindowButtonIsDownFromPressToRelease) {
  ClickState clicks;
  clicks.frameArrived(blank());
  EXPECT_FALSE(clicks.mouseDown());
  clicks.press({12, 34});
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(clicks.mouseDown());
  EXPECT_EQ(clicks.clickX(), 12);
  EXPECT_EQ(clicks.clickY(), 34);
  clicks.release();
  EXPECT_FALSE(clicks.mouseDown());
  // The position stays readable after the release.
  EXPECT_EQ(clicks.clickX(), 12);
}

TEST(ClickState, PressAndReleaseBetweenTwoPollsIsReportedOnce) {
  ClickState clicks;
  clicks.frameArrived(blank());
  clicks.press({3, 4});
  clicks.release();
  EXPECT_TRUE(clicks.mouseDown());
  EXPECT_FALSE(clicks.mouseDown());
}

TEST(ClickState, TwoWindowClicksSelectTwoStarsAndAHeldButtonCountsOnce) {
  ClickState clicks;
  clicks.frameArrived(blank());
  // The user presses star 1 and keeps the button down for a while: the
  // wait for star 2 must not finish on that same press.
  int pass = 0;
  const ClickPoint first = awaitClick(clicks, [&] {
    if (++pass == 3) clicks.press({10, 11});
  });
  EXPECT_EQ(first, (ClickPoint{10, 11}));
  pass = 0;
  const ClickPoint second = awaitClick(clicks, [&] {
    ++pass;
    if (pass == 5) clicks.release();
    if (pass == 8) clicks.press({40, 21});
  });
  EXPECT_EQ(second, (ClickPoint{40, 21}));
  EXPECT_GE(pass, 8);
}

TEST(ClickState, ScriptedPointsAreClickedInOrderOncePerWait) {
  ClickState clicks;
  clicks.scriptClicks({{1, 2}, {30, 20}, {7, 8}});
  clicks.frameArrived(blank());
  EXPECT_EQ(awaitClick(clicks), (ClickPoint{1, 2}));
  EXPECT_EQ(awaitClick(clicks), (ClickPoint{30, 20}));
  EXPECT_EQ(awaitClick(clicks), (ClickPoint{7, 8}));
  // Nothing left: the button stays up.
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(clicks.mouseDown());
}

TEST(ClickState, ScriptedPressIsHeldForExactlyOnePoll) {
  ClickState clicks;
  clicks.scriptClicks({{1, 2}, {3, 4}});
  clicks.frameArrived(blank());
  std::vector<bool> polls;
  for (int i = 0; i < 6; ++i) polls.push_back(clicks.mouseDown());
  EXPECT_EQ(polls, (std::vector<bool>{false, true, false, true, false, false}));
}

struct Star {
  int x, y;
  std::uint16_t peak;
};

Frame withStars(const std::vector<Star>& stars) {
  Frame frame = blank();
  for (const Star& star : stars) {
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) {
        frame.pixels[static_cast<std::size_t>(star.y + dy) * frame.width + star.x + dx] =
            static_cast<std::uint16_t>(100 + (dx == 0 && dy == 0 ? star.peak : star.peak / 4));
      }
    }
  }
  return frame;
}

TEST(ClickState, BrightestStarsScriptFollowsEachNewImage) {
  ClickState clicks;
  clicks.scriptBrightestStars();
  // Each image, and the two points clicked on it, brightest first.
  const std::vector<std::pair<Frame, std::vector<ClickPoint>>> images{
      {withStars({{10, 10, 4000}, {45, 30, 8000}}), {{45, 30}, {10, 10}}},
      {withStars({{20, 15, 9000}, {50, 25, 3000}, {30, 5, 1000}}), {{20, 15}, {50, 25}}},
  };
  for (const auto& [frame, expected] : images) {
    clicks.frameArrived(frame);
    for (const ClickPoint& point : expected) EXPECT_EQ(awaitClick(clicks), point);
  }
}

TEST(ClickState, ObserverSeesEveryPressFromWindowAndScript) {
  ClickState clicks;
  std::vector<ClickPoint> seen;
  clicks.setPressObserver([&seen](ClickPoint p) { seen.push_back(p); });
  clicks.scriptClicks({{1, 2}});
  clicks.frameArrived(blank());
  awaitClick(clicks);
  clicks.press({9, 9});
  clicks.release();
  EXPECT_EQ(seen, (std::vector<ClickPoint>{{1, 2}, {9, 9}}));
}

}  // namespace
}  // namespace nebulor::camera
