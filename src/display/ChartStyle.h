#pragma once

#include <QColor>

namespace nebulor {

// The colours of every chart Nebulor draws, the night chart's and the site
// report's, in the day palette or red on black.
struct ChartColours {
  QColor background, text, grid, axis, best, errorBar, classical, median, rejected, airmass;
};
ChartColours chartColours(bool nightPalette);

// A step of 1, 2 or 5 times a power of ten giving at most maxTicks ticks up to top.
double tickStep(double top, double maxTicks);

}  // namespace nebulor
