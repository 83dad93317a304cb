#include "display/WindowFont.h"

#include <QStringList>
#include <cmath>

namespace nebulor {

QFont windowFont(double points, bool bold) {
  QFont font;
  font.setFamilies(
      QStringList{QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(static_cast<int>(std::lround(points * 96 / 72)));
  font.setBold(bold);
  // Whole-pixel glyph advances, as on the screen the layout was made for:
  // unhinted widths run a pixel over the tightest captions.
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

}  // namespace nebulor
