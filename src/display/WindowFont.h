#pragma once

#include <QFont>

namespace nebulor {

// The face the windows were laid out with is not on Linux: Liberation Sans
// has its widths closely enough that every caption fits its designed box.
// Sizes are the designed point sizes at 96 dots per inch, given in pixels,
// so text keeps its proportion to the pixel layout on any screen.
QFont windowFont(double points = 8.25, bool bold = false);

}  // namespace nebulor
