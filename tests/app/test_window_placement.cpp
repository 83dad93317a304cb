#include <gtest/gtest.h>

#include "app/WindowPlacement.h"

namespace nebulor {
namespace {

TEST(WindowPlacement, BesideThePlacedWindowOnTheSideWithRoomAndOnTheScreen) {
  const QSize main(284, 466), wanted(662, 561), minimum(162, 141);
  const struct {
    QRect screen, placed, frame;
  } cases[] = {
      {{0, 0, 1920, 1080}, {{1500, 100}, main}, {830, 100, 662, 561}},      // room on the left only
      {{0, 0, 1024, 768}, {{600, 150}, main}, {0, 150, 592, 561}},          // narrowed to the wider side
      {{1920, 0, 1280, 1024}, {{2000, 600}, main}, {2292, 463, 662, 561}},  // raised, on a second screen
      {{0, 0, 400, 500}, {{50, 0}, main}, {238, 0, 162, 500}},              // no room: its minimum, on screen
  };
  for (const auto& c : cases)
    EXPECT_EQ(besideFrame(c.screen, c.placed, wanted, minimum), c.frame) << c.placed.x();
}

}  // namespace
}  // namespace nebulor
