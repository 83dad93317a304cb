#include "app/ChartCommand.h"

#include <QSize>
#include <cstdlib>

#include "display/NightChart.h"
#include "measure/NightSummary.h"
#include "measure/ReadingsLog.h"
#include "measure/ReadingsReader.h"

namespace nebulor {

int runChart(const ProgramOptions& options, const std::string& folder, std::ostream& out, std::ostream& err) {
  const std::string path = options.chartLog.empty() ? folder + kReadingsLogFileName : options.chartLog;
  ReadingsReader reader;
  if (const std::optional<Failure> failure = reader.readNew(path)) {
    err << "nebulor: " << failure->reason << '\n';
    return EXIT_FAILURE;
  }
  reader.finish();
  for (const std::string& note : reader.notes()) err << "nebulor: " << path << ": " << note << '\n';
  if (const std::optional<Failure> failure = reader.failure()) {
    err << "nebulor: nothing to draw from " << path << ": " << failure->reason << '\n';
    return EXIT_FAILURE;
  }
  const Night night = selectNight(reader.readings(), options.chartDate);
  if (night.readings.empty()) {
    err << "nebulor: " << path << " holds no reading of the night of " << night.date << " (noon to noon)\n";
    return EXIT_FAILURE;
  }
  const NightChart chart(night);
  if (const std::optional<Failure> failure =
          chart.save(QString::fromStdString(options.chartOutput),
                     QSize(options.chartWidth, options.chartHeight), options.night)) {
    err << "nebulor: " << failure->reason << '\n';
    return EXIT_FAILURE;
  }
  out << nightSummaryText(summarizeNight(night));
  return EXIT_SUCCESS;
}

}  // namespace nebulor
