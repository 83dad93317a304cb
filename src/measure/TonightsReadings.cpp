#include "measure/TonightsReadings.h"

#include "measure/LogFile.h"
#include "measure/Night.h"
#include "measure/ReadingsLog.h"
#include "measure/ReadingsReader.h"

namespace nebulor {

std::vector<std::string> seedWithTonight(ReadingsFeed& feed, const std::string& folder, double wavelength,
                                         WallClock::time_point now) {
  const std::string path = folder + kReadingsLogFileName;
  if (logPathKind(path) == LogPathKind::none) return {};  // the first night in this folder
  const std::string unshown = "; the night's earlier readings are not shown";
  ReadingsReader reader;
  if (const std::optional<Failure> failure = reader.readNew(path)) return {failure->reason + unshown};
  reader.finish();
  std::vector<std::string> notes;
  for (const std::string& note : reader.notes()) notes.push_back(path + ": " + note);
  if (reader.foreign()) notes.push_back(path + ": " + reader.failure()->reason + unshown);
  Reading tonight;
  tonight.time = now;
  tonight.utcOffset = utcOffsetAt(WallClock::to_time_t(now));
  for (Reading& reading : selectNight(reader.readings(), nightDate(tonight)).readings) {
    if (!reading.wavelength) reading.wavelength = wavelength;
    feed.publish(reading);
  }
  return notes;
}

}  // namespace nebulor
