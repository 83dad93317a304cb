#include "display/ChartStyle.h"

namespace nebulor {

ChartColours chartColours(bool nightPalette) {
  const auto red = [](int level) { return QColor(level, 0, 0); };
  if (nightPalette) {
    return {red(0), red(200), red(45), red(120), red(190), red(105), red(90), red(255), red(170), red(150)};
  }
  return {Qt::white,           QColor(30, 30, 30),    QColor(225, 225, 225), QColor(110, 110, 110),
          QColor(20, 60, 170), QColor(130, 150, 210), QColor(165, 165, 165), QColor(215, 40, 20),
          QColor(235, 130, 0), QColor(90, 90, 90)};
}

double tickStep(double top, double maxTicks) {
  for (double power = 0.1;; power *= 10) {
    for (const double factor : {1.0, 2.0, 5.0}) {
      if (top / (factor * power) <= maxTicks) return factor * power;
    }
  }
}

}  // namespace nebulor
