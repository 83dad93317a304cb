#include "display/NightPalette.h"

#include <QApplication>
#include <QToolTip>

#include "display/UserSettings.h"

namespace nebulor {

namespace {

constexpr int kText = 200;  // red level of text
constexpr int kDimText = 90;
constexpr int kDisabledText = 130;  // plainly dimmer than text, yet legible on black and on a button
constexpr const char* kNightViewKey = "nightView";

QColor red(int level) { return {level, 0, 0}; }

}  // namespace

QPalette nightPalette() {
  QPalette palette;
  // Disabled controls: text a step dimmer and faces a step darker than the
  // enabled ones', so they read as off, not as gone.
  const struct {
    QPalette::ColorRole role;
    int level, disabled;
  } roles[] = {
      {QPalette::Window, 0, 0},
      {QPalette::WindowText, kText, kDisabledText},
      {QPalette::Base, 24, 12},
      {QPalette::AlternateBase, 16, 8},
      {QPalette::Text, kText, kDisabledText},
      {QPalette::Button, 36, 16},
      {QPalette::ButtonText, kText, kDisabledText},
      {QPalette::BrightText, 255, kText},
      {QPalette::Light, 96, 64},
      {QPalette::Midlight, 64, 40},
      {QPalette::Mid, 48, 32},
      {QPalette::Dark, 24, 16},
      {QPalette::Shadow, 0, 0},
      {QPalette::Highlight, 120, 60},
      {QPalette::HighlightedText, 0, 0},
      {QPalette::ToolTipBase, 36, 36},
      {QPalette::ToolTipText, kText, kText},
      {QPalette::PlaceholderText, kDimText, kDimText},
      {QPalette::Link, 230, kDisabledText},
      {QPalette::LinkVisited, 160, kDisabledText},
  };
  for (const auto& entry : roles) {
    palette.setColor(entry.role, red(entry.level));
    palette.setColor(QPalette::Disabled, entry.role, red(entry.disabled));
  }
  return palette;
}

void useNightPalette(bool night) {
  // Kept from the first switch, which is always from the day view.
  static const QPalette day = QApplication::palette();
  static const QPalette dayTips = QToolTip::palette();
  QApplication::setPalette(night ? nightPalette() : day);
  QToolTip::setPalette(night ? nightPalette() : dayTips);
  // Qt posts the change to each window: deliver it now, for what is drawn next.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::ApplicationPaletteChange);
}

bool rememberedNightView() {
  return userSettings().value(QString::fromLatin1(kNightViewKey), false).toBool();
}

void rememberNightView(bool night) { userSettings().setValue(QString::fromLatin1(kNightViewKey), night); }

}  // namespace nebulor
