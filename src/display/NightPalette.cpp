#include "display/NightPalette.h"

#include <QApplication>
#include <QSettings>
#include <QToolTip>

namespace nebulor {

namespace {

constexpr int kText = 200;  // red level of text
constexpr int kDimText = 90;
constexpr const char* kNightViewKey = "nightView";

QColor red(int level) { return {level, 0, 0}; }

QSettings userSettings() { return QSettings(QStringLiteral("nebulor"), QStringLiteral("nebulor")); }

}  // namespace

QPalette nightPalette() {
  QPalette palette;
  const struct {
    QPalette::ColorRole role;
    int level;
  } roles[] = {
      {QPalette::Window, 0},
      {QPalette::WindowText, kText},
      {QPalette::Base, 24},
      {QPalette::AlternateBase, 16},
      {QPalette::Text, kText},
      {QPalette::Button, 36},
      {QPalette::ButtonText, kText},
      {QPalette::BrightText, 255},
      {QPalette::Light, 96},
      {QPalette::Midlight, 64},
      {QPalette::Mid, 48},
      {QPalette::Dark, 24},
      {QPalette::Shadow, 0},
      {QPalette::Highlight, 120},
      {QPalette::HighlightedText, 0},
      {QPalette::ToolTipBase, 36},
      {QPalette::ToolTipText, kText},
      {QPalette::PlaceholderText, kDimText},
      {QPalette::Link, 230},
      {QPalette::LinkVisited, 160},
  };
  for (const auto& entry : roles) palette.setColor(entry.role, red(entry.level));
  for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, red(kDimText));
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
