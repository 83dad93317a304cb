#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QWidget>
#include <algorithm>
#include <map>

#include "../support/WidgetTestSupport.h"
#include "display/NightPalette.h"

namespace nebulor {
namespace {

TEST(NightPalette, RedLightOnlyWithTextBrighterThanItsBackground) {
  test_support::widgetApp();
  const QPalette night = nightPalette();
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
      if (role == QPalette::NoRole) continue;
      const QColor colour = night.color(group, static_cast<QPalette::ColorRole>(role));
      EXPECT_EQ(colour.green(), 0) << group << " " << role;
      EXPECT_EQ(colour.blue(), 0) << group << " " << role;
    }
    const struct {
      QPalette::ColorRole text, background;
    } pairs[] = {{QPalette::WindowText, QPalette::Window},
                 {QPalette::ButtonText, QPalette::Button},
                 {QPalette::Text, QPalette::Base},
                 {QPalette::ToolTipText, QPalette::ToolTipBase}};
    for (const auto& pair : pairs) {
      EXPECT_GT(night.color(group, pair.text).red(), night.color(group, pair.background).red() + 40)
          << group << " " << pair.text;
    }
  }
  EXPECT_LT(night.color(QPalette::Disabled, QPalette::ButtonText).red(),
            night.color(QPalette::Active, QPalette::ButtonText).red());
}

// A button as the style draws it in the night view: disabled, plainly dimmer
// than enabled, yet with a caption that stands out from its face.
TEST(NightPalette, DisabledButtonsReadAsOffNotAsGone) {
  test_support::widgetApp();
  QPushButton button(QStringLiteral("Start Monitoring"));
  button.setPalette(nightPalette());
  button.resize(120, 37);
  struct Levels {
    int face = 0, caption = 0;  // the red level most pixels have; the brightest
  };
  const auto drawn = [&button] {
    const QImage image = button.grab().toImage();
    std::map<int, int> pixels;
    Levels levels;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        ++pixels[qRed(image.pixel(x, y))];
        levels.caption = std::max(levels.caption, qRed(image.pixel(x, y)));
      }
    }
    levels.face = std::max_element(pixels.begin(), pixels.end(), [](auto a, auto b) {
                    return a.second < b.second;
                  })->first;
    return levels;
  };
  const Levels on = drawn();
  button.setEnabled(false);
  const Levels off = drawn();
  EXPECT_LT(off.caption, on.caption);
  EXPECT_LE(off.face, on.face);
  EXPECT_GE(off.caption, 3 * off.face) << "caption " << off.caption << " on face " << off.face;
}

TEST(NightPalette, SwitchesEveryWindowAndBackToTheDay) {
  test_support::widgetApp();
  const QPalette day = QApplication::palette();
  ASSERT_NE(day.color(QPalette::Window), nightPalette().color(QPalette::Window));
  QWidget other;  // any window of the program, a dialog say
  useNightPalette(true);
  EXPECT_EQ(other.palette().color(QPalette::Window), nightPalette().color(QPalette::Window));
  EXPECT_EQ(other.palette().color(QPalette::Disabled, QPalette::WindowText),
            nightPalette().color(QPalette::Disabled, QPalette::WindowText));
  useNightPalette(false);
  EXPECT_EQ(QApplication::palette(), day);
  EXPECT_EQ(other.palette().color(QPalette::Window), day.color(QPalette::Window));
}

}  // namespace
}  // namespace nebulor
