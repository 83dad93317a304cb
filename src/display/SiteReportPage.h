#pragma once

#include <string>
#include <vector>

#include "measure/SiteSurvey.h"

namespace nebulor {

// Where a site report's readings came from, for its heading.
struct SiteReportSource {
  std::string site;               // the site's name; empty: none given
  std::vector<std::string> logs;  // the logs read
  std::string from, to;           // the nights asked for, YYYY-MM-DD; empty: no limit
  std::string program;            // the program and version that wrote it
};

// The site report as one HTML page that needs nothing else: the pictures
// are inline SVG, the style is in the page, and no script runs. It reads on
// a phone (the pictures shrink, the nights' table scrolls) and prints on A4.
// Every figure says under it how it is made; "How the figures are made"
// states the rules they share.
std::string siteReportHtml(const SiteStatistics& statistics, const SiteReportSource& source,
                           bool nightPalette);

}  // namespace nebulor
