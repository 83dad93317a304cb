#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "measure/ReadingsReader.h"

namespace nebulor {

// No reading completed for longer than this: a gap (clouds, a stop), which
// the chart leaves empty and the night's hours do not count.
inline constexpr std::time_t kNightGap = 5 * 60;

// The readings of one night, noon to noon in the local time of the log's
// rows, named by the date of its evening.
struct Night {
  std::string date;               // YYYY-MM-DD of the evening
  std::vector<Reading> readings;  // in time order
};

// The date of the evening of the night a reading belongs to.
std::string nightDate(const Reading& reading);

// "HH:MM" of a reading in its own local time.
std::string clockText(const Reading& reading);

// The night of `date` (YYYY-MM-DD), or the most recent night when date is
// empty; no readings when the log holds none that night.
Night selectNight(const std::vector<Reading>& readings, const std::string& date);

// Every night the readings touch, in date order, each with its readings in
// time order: the readings of many logs, whatever order the logs came in.
void forEachNight(std::vector<const Reading*> readings, const std::function<void(const Night&)>& take);

// The time each reading stands for, seconds: the time since the reading
// before it, or, after a gap and for the first, the night's typical
// spacing (the median of the spacings within runs).
std::vector<double> readingDurations(const std::vector<Reading>& readings);

}  // namespace nebulor
