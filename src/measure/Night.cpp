#include "measure/Night.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "measure/RunningMedian.h"

namespace nebulor {

namespace {

constexpr std::time_t kDay = 86400;

// Night number: days from 1970-01-01 of its evening. A night runs from noon to noon.
long nightNumber(const Reading& reading) {
  const std::time_t local = reading.seconds() + reading.utcOffset - kDay / 2;
  return static_cast<long>(local >= 0 ? local / kDay : -((-local + kDay - 1) / kDay));
}

// The calendar date of a day number (the inverse of daysFromCivil).
std::string dateText(long days) {
  days += 719468;
  const long era = (days >= 0 ? days : days - 146096) / 146097;
  const long dayOfEra = days - era * 146097;
  const long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long shifted = (5 * dayOfYear + 2) / 153;
  const long day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  const long month = shifted < 10 ? shifted + 3 : shifted - 9;
  const long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  char text[64];
  std::snprintf(text, sizeof text, "%04ld-%02ld-%02ld", year, month, day);
  return text;
}

}  // namespace

std::string nightDate(const Reading& reading) { return dateText(nightNumber(reading)); }

std::string clockText(const Reading& reading) {
  const std::time_t local = reading.seconds() + reading.utcOffset;
  const int minutes = static_cast<int>(((local % 86400 + 86400) % 86400) / 60);
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", minutes / 60, minutes % 60);
  return text;
}

Night selectNight(const std::vector<Reading>& readings, const std::string& date) {
  Night night{date, {}};
  if (date.empty() && !readings.empty()) {
    long latest = nightNumber(readings.front());
    for (const Reading& reading : readings) latest = std::max(latest, nightNumber(reading));
    night.date = dateText(latest);
  }
  for (const Reading& reading : readings) {
    if (nightDate(reading) == night.date) night.readings.push_back(reading);
  }
  std::stable_sort(night.readings.begin(), night.readings.end(),
                   [](const auto& a, const auto& b) { return a.time < b.time; });
  return night;
}

void forEachNight(std::vector<const Reading*> readings, const std::function<void(const Night&)>& take) {
  std::stable_sort(readings.begin(), readings.end(), [](const Reading* a, const Reading* b) {
    return std::pair(nightNumber(*a), a->time) < std::pair(nightNumber(*b), b->time);
  });
  Night night;
  for (std::size_t i = 0; i < readings.size(); ++i) {
    night.readings.push_back(*readings[i]);
    if (i + 1 < readings.size() && nightNumber(*readings[i + 1]) == nightNumber(*readings[i])) continue;
    night.date = nightDate(*readings[i]);
    take(night);
    night.readings.clear();
  }
}

std::vector<double> readingDurations(const std::vector<Reading>& readings) {
  std::vector<double> spacings;
  for (std::size_t i = 1; i < readings.size(); ++i) {
    const std::time_t spacing = readings[i].seconds() - readings[i - 1].seconds();
    if (spacing <= kNightGap) spacings.push_back(static_cast<double>(spacing));
  }
  const double typical = spacings.empty() ? 0 : medianOf(spacings);
  std::vector<double> durations(readings.size(), typical);
  for (std::size_t i = 1; i < readings.size(); ++i) {
    const std::time_t spacing = readings[i].seconds() - readings[i - 1].seconds();
    if (spacing <= kNightGap) durations[i] = static_cast<double>(spacing);
  }
  return durations;
}

}  // namespace nebulor
