// Click state transitions as the star selection polls them: window presses
// short and long, scripted points, and the automatic pair of each image.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "camera/ClickState.h"

namespace nebulor::camera {
namespace {

stars::Frame blankFrame() { return stars::Frame{60, 40, std::vector<std::uint16_t>(60 * 40, 100)}; }
std::shared_ptr<const stars::Frame> blank() { return std::make_shared<const stars::Frame>(blankFrame()); }

struct Star {
  int x, y;
  std::uint16_t peak;
};

stars::Frame withStars(const std::vector<Star>& stars);

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
  clicks.frameArrived(std::make_shared<const stars::Frame>(withStars({{10, 11, 4000}, {40, 21, 4000}})));
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

stars::Frame withStars(const std::vector<Star>& stars) {
  stars::Frame frame = blankFrame();
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

TEST(ClickState, AutomaticPairScriptFollowsEachNewImage) {
  ClickState clicks;
  clicks.scriptAutomaticPair({20, 60});
  // Each image, and the two points clicked on it, left first: the pair is
  // the brightest two alike in brightness and a plausible distance apart.
  const std::vector<std::pair<stars::Frame, std::vector<ClickPoint>>> images{
      {withStars({{10, 10, 4000}, {45, 30, 8000}}), {{10, 10}, {45, 30}}},
      {withStars({{52, 25, 9000}, {20, 15, 6000}, {30, 5, 1000}}), {{20, 15}, {52, 25}}},
  };
  for (const auto& [frame, expected] : images) {
    clicks.frameArrived(std::make_shared<const stars::Frame>(frame));
    for (const ClickPoint& point : expected) EXPECT_EQ(awaitClick(clicks), point);
  }
}

TEST(ClickState, ObserverSeesEveryPressFromWindowAndScript) {
  ClickState clicks;
  std::vector<ClickPoint> seen;
  clicks.setPressObserver([&seen](ClickPoint p) { seen.push_back(p); });
  clicks.scriptClicks({{1, 2}});
  clicks.frameArrived(blank());
  clicks.press({9, 9});  // no click is awaited yet: nothing to judge it by
  clicks.release();
  EXPECT_EQ(awaitClick(clicks), (ClickPoint{1, 2}));
  EXPECT_EQ(seen, (std::vector<ClickPoint>{{9, 9}, {1, 2}}));
}

// While the selection waits, a window press on empty sky or on the star
// image already chosen is refused with its reason and never reaches the
// selection; the prompt names the step.
TEST(ClickState, PressesThatCannotBeStarsAreRefusedOnTheSpot) {
  ClickState clicks;
  clicks.frameArrived(std::make_shared<const stars::Frame>(withStars({{15, 12, 4000}, {45, 25, 4000}})));
  EXPECT_EQ(clicks.prompt(), "") << "nothing asked for yet";
  ASSERT_NE(clicks.clickNew(), 0);
  EXPECT_EQ(clicks.prompt(), "Click the first star image");

  const struct {
    ClickPoint point;
    bool taken;
    const char* reason;  // in the refusal
    const char* prompt;  // afterwards
  } steps[] = {
      {{30, 5}, false, "no star image was found there", "Click the first star image"},
      {{15, 12}, true, "", "Click the second star image"},
      {{16, 13}, false, "it is the star image already chosen", "Click the second star image"},
      {{44, 24}, true, "", ""},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.point.x);
    EXPECT_EQ(clicks.press(step.point), step.taken);
    clicks.release();
    EXPECT_EQ(clicks.mouseDown(), step.taken) << "only a taken press reaches the selection";
    EXPECT_NE(clicks.refusal().find(step.reason), std::string::npos) << clicks.refusal();
    EXPECT_EQ(clicks.refusal().empty(), step.taken);
    EXPECT_EQ(clicks.prompt(), step.prompt);
  }
  clicks.frameArrived(blank());
  EXPECT_EQ(clicks.refusal(), "") << "a new image starts afresh";
}

}  // namespace
}  // namespace nebulor::camera
