#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "measure/Night.h"

namespace nebulor {

// One kind of seeing value (the best estimate or the classical value) over a night.
struct SeeingSummary {
  int readings = 0;   // readings with this value
  double median = 0;  // of the measured time, as TimeDistribution reads it
  double q1 = 0;
  double q3 = 0;
  double below08 = 0;  // percent of the measured time with seeing better than 0.8 arcsec
  double below10 = 0;  // ... better than 1.0 arcsec
  // The best 30 minutes: the lowest median over 30 measured minutes, and
  // where they begin; none when the night has no 30 measured minutes together.
  std::optional<double> best30;
  std::optional<Reading> best30Start;
};

// What a morning report or a site survey wants of a night.
struct NightSummary {
  std::string date;
  int readings = 0;
  double hours = 0;  // measured: the time the readings stand for, gaps left out
  SeeingSummary best;
  SeeingSummary classical;
  double rejectedShare = 0;          // percent of the night's exposures rejected
  std::optional<double> tau0Median;  // ms, of the measured time of the readings with tau0; none without
};

NightSummary summarizeNight(const Night& night);

// One `name=value` line per field, numbers with a full stop, for scripts.
std::string nightSummaryText(const NightSummary& summary);

}  // namespace nebulor
