#include <gtest/gtest.h>

#include "app/WindowPlacement.h"

namespace nebulor {
namespace {

TEST(WindowPlacement, BesideThePlacedWindowOnTheSideWithRoomAndOnTheScreen) {
  const QSize main(284, 466), wanted(662, 561), minimum(162, 141);
  const struct {
    const char* name;
    QRect screen, placed, frame;
  } cases[] = {
      {"room on the right", {0, 0, 1920, 1080}, {{100, 100}, main}, {392, 100, 662, 561}},
      {"room on the left only", {0, 0, 1920, 1080}, {{1500, 100}, main}, {830, 100, 662, 561}},
      {"narrowed to the wider side", {0, 0, 1024, 768}, {{600, 150}, main}, {0, 150, 592, 561}},
      {"raised to end on the screen", {0, 0, 1280, 1024}, {{0, 600}, main}, {292, 463, 662, 561}},
      {"a second screen", {1920, 0, 1280, 1024}, {{2000, 100}, main}, {2292, 100, 662, 561}},
      {"no room: its minimum, on the screen", {0, 0, 400, 500}, {{50, 0}, main}, {238, 0, 162, 500}},
  };
  for (const auto& c : cases) EXPECT_EQ(besideFrame(c.screen, c.placed, wanted, minimum), c.frame) << c.name;
}

}  // namespace
}  // namespace nebulor
