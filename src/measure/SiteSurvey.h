#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "measure/NightSummary.h"
#include "measure/TimeDistribution.h"

namespace nebulor {

// How a value spread over measured time (TimeDistribution's weights and quantiles).
struct Spread {
  int readings = 0;
  double hours = 0;
  double q10 = 0, q1 = 0, median = 0, q3 = 0, q90 = 0;
};

// The limits of the shares of time a site is quoted by, arcsec.
inline constexpr std::array<double, 4> kSeeingLimits = {0.5, 0.8, 1.0, 1.5};
// The cumulative distribution's step, and the histogram's bin, arcsec.
inline constexpr double kCurveStep = 0.01;
inline constexpr double kHistogramBin = 0.1;

// One kind of seeing value (the best estimate or the classical value) over all measured time.
struct SiteSeeing {
  Spread spread;
  std::array<double, kSeeingLimits.size()> percentBelow{};  // of the time, for each of kSeeingLimits
  std::vector<double> cumulative;  // percent of the time below i kCurveStep, up to SiteStatistics::top
};

// A spread over part of the time: a clock hour of the night or a month.
struct PartSpread {
  std::string name;  // "21" (21:00 to 22:00 local time), "2026-12"
  Spread spread;
};

// What a site survey publishes of months of nights.
struct SiteStatistics {
  std::vector<NightSummary> nights;  // in date order
  int readings = 0;
  double hours = 0;
  SiteSeeing best;
  SiteSeeing classical;
  double top = 0;  // arcsec: the curves and the histogram end here
  std::vector<double>
      bestHistogram;  // hours of best estimate per kHistogramBin from 0; the last bin holds all above
  std::vector<PartSpread> bestByHour;   // in the night's order, hours with readings only
  std::vector<PartSpread> bestByMonth;  // of the nights' evenings
  std::optional<Spread> tau0;           // ms, when the logs have it
  std::vector<PartSpread> tau0ByMonth;
};

// Takes nights one at a time, in date order, and keeps only what the
// figures need: a year of readings costs a few values per reading.
class SiteSurvey {
 public:
  SiteSurvey();
  ~SiteSurvey();
  void add(const Night& night);
  SiteStatistics finish();

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

// The statistics of the nights from `from` to `to` (the dates of their
// evenings, YYYY-MM-DD; empty: no limit) of readings from any number of logs.
SiteStatistics surveyNights(const std::vector<const Reading*>& readings, const std::string& from,
                            const std::string& to);

// `name=value` lines of the statistics of all measured time, as the night summary's.
std::string siteSummaryText(const SiteStatistics& statistics);

}  // namespace nebulor
