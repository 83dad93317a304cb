#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

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
  // Disabled: plainly dimmer than enabled, yet standing out from its face.
  const int disabled = night.color(QPalette::Disabled, QPalette::ButtonText).red();
  EXPECT_LT(disabled, night.color(QPalette::Active, QPalette::ButtonText).red());
  EXPECT_GE(disabled, 3 * night.color(QPalette::Disabled, QPalette::Button).red());
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
