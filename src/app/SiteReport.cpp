#include "app/SiteReport.h"

#include <QSaveFile>
#include <cstdlib>

#include "Version.h"
#include "display/SiteReportPage.h"
#include "measure/SiteLogs.h"

namespace nebulor {

SiteSurveyed surveySite(const SiteReportRequest& request) {
  SiteSurveyed surveyed;
  const SiteLogs logs(request.places);
  surveyed.logs = logs.logs();
  surveyed.notes = logs.notes();
  if (surveyed.logs.empty()) {
    surveyed.failure = Failure{"no readings log with a readable reading was found"};
    return surveyed;
  }
  surveyed.statistics = surveyNights(logs.readings(), request.from, request.to);
  if (surveyed.statistics.nights.empty())
    surveyed.failure = Failure{"the logs hold no night from the dates asked for"};
  return surveyed;
}

std::optional<Failure> writeSiteReport(const SiteReportRequest& request, const SiteSurveyed& surveyed) {
  const SiteReportSource source{request.site, surveyed.logs, request.from, request.to,
                                std::string("Nebulor ") + kVersionText};
  const std::string html = siteReportHtml(surveyed.statistics, source, request.nightPalette);
  QSaveFile file(QString::fromStdString(request.output));
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(html.data(), static_cast<qint64>(html.size())) != static_cast<qint64>(html.size()) ||
      !file.commit()) {
    return Failure{"Cannot write " + request.output + ": " + file.errorString().toStdString()};
  }
  return std::nullopt;
}

int runReport(const ProgramOptions& options, const std::string& folder, std::ostream& out,
              std::ostream& err) {
  SiteReportRequest request{options.reportPlaces, options.reportFrom, options.reportTo,
                            options.site,         options.night,      options.chartOutput};
  if (request.places.empty()) request.places.push_back(folder);
  const SiteSurveyed surveyed = surveySite(request);
  for (const std::string& note : surveyed.notes) err << "nebulor: " << note << '\n';
  if (surveyed.failure) {
    err << "nebulor: nothing to report: " << surveyed.failure->reason << '\n';
    return EXIT_FAILURE;
  }
  if (const std::optional<Failure> failure = writeSiteReport(request, surveyed)) {
    err << "nebulor: " << failure->reason << '\n';
    return EXIT_FAILURE;
  }
  out << "logs=" << surveyed.logs.size() << '\n' << siteSummaryText(surveyed.statistics);
  return EXIT_SUCCESS;
}

}  // namespace nebulor
