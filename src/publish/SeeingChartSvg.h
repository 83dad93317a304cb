#pragma once

#include <QByteArray>
#include <vector>

#include "core/ReadingsFeed.h"

namespace nebulor {

// The night's readings as a small SVG line chart for the live page: the
// classical seeing dashed, the best estimate solid, both in arcsec against
// the local time. Drawn in currentColor, so it takes the page's palette.
QByteArray seeingChartSvg(const std::vector<PublishedReading>& readings);

}  // namespace nebulor
