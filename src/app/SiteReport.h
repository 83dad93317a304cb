#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/ProgramOptions.h"
#include "core/Failure.h"
#include "measure/SiteSurvey.h"

namespace nebulor {

// The file name of the window's site report, in the data folder.
inline constexpr const char* kSiteReportFileName = "SiteReport.html";

// What a site report is asked for.
struct SiteReportRequest {
  std::vector<std::string> places;  // logs and folders of logs
  std::string from, to;             // nights, YYYY-MM-DD; empty: no limit
  std::string site;
  bool nightPalette = false;
  std::string output;  // the HTML file
};

// The logs of a request read and their nights summed up. Needs no Qt, so
// it may run in any thread.
struct SiteSurveyed {
  SiteStatistics statistics;
  std::vector<std::string> logs;   // read
  std::vector<std::string> notes;  // what cost readings, one line each
  std::optional<Failure> failure;  // nothing to report, and why
};
SiteSurveyed surveySite(const SiteReportRequest& request);

// Writes the report's page: whole, or not at all (an old report stays as it
// was). Needs a QGuiApplication, on any platform (offscreen too).
std::optional<Failure> writeSiteReport(const SiteReportRequest& request, const SiteSurveyed& surveyed);

// nebulor --report: the report of the logs the options name (default: the
// data folder's) to the HTML file they name, the summary as name=value
// lines on out, what cost readings on err. Exit code 0; 1 with the reason
// on err when there is nothing to report or the file cannot be written.
int runReport(const ProgramOptions& options, const std::string& folder, std::ostream& out, std::ostream& err);

}  // namespace nebulor
