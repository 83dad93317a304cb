#pragma once

#include <QByteArray>

#include "measure/SiteSurvey.h"

namespace nebulor {

// The site report's pictures, drawn as the night chart is (the same colours
// and palettes), each as the text of an SVG picture of kSiteChartWidth x
// kSiteChartHeight to put in a page: it scales to any width and prints sharp.
inline constexpr int kSiteChartWidth = 640;
inline constexpr int kSiteChartHeight = 400;

enum class SiteChart {
  distribution,  // share of the measured time below each seeing: best estimate, classical fainter
  histogram,     // hours of best estimate per 0.1 arcsec, the median marked
  byHour,        // box plots of the best estimate per local clock hour of the night
  byMonth,       // ... per month
};

QByteArray siteChartSvg(const SiteStatistics& statistics, SiteChart chart, bool nightPalette);

}  // namespace nebulor
