#include "measure/SiteSurvey.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "core/NumberText.h"

namespace nebulor {

namespace {

constexpr int kHoursPerDay = 24;

// The readings of a night that have a value, each with the time it stands for.
void forEachWeighted(const std::vector<Reading>& all,
                     const std::function<std::optional<double>(const Reading&)>& valueOf,
                     const std::function<void(const Reading&, double value, double seconds)>& take) {
  std::vector<Reading> readings;
  std::vector<double> values;
  for (const Reading& reading : all) {
    if (const std::optional<double> value = valueOf(reading)) {
      readings.push_back(reading);
      values.push_back(*value);
    }
  }
  const std::vector<double> durations = readingDurations(readings);
  for (std::size_t i = 0; i < readings.size(); ++i) take(readings[i], values[i], durations[i]);
}

Spread spreadOf(TimeDistribution& distribution) {
  Spread spread;
  spread.readings = static_cast<int>(distribution.size());
  spread.hours = distribution.hours();
  const std::vector<double> q = distribution.quantiles({0.1, 0.25, 0.5, 0.75, 0.9});
  spread.q10 = q[0];
  spread.q1 = q[1];
  spread.median = q[2];
  spread.q3 = q[3];
  spread.q90 = q[4];
  return spread;
}

// The local clock hour of a reading.
int hourOf(const Reading& reading) {
  const std::time_t local = reading.seconds() + reading.utcOffset;
  return static_cast<int>(((local % 86400) + 86400) % 86400 / 3600);
}

// A month's distribution, passed on when the next month begins.
struct MonthParts {
  std::string month;
  TimeDistribution values;
  std::vector<PartSpread> done;

  void startNight(const std::string& nightMonth) {
    if (nightMonth == month) return;
    close();
    month = nightMonth;
  }
  void close() {
    if (values.size() > 0) done.push_back({month, spreadOf(values)});
    values = TimeDistribution();
  }
};

std::optional<double> bestOf(const Reading& r) { return r.best; }
std::optional<double> classicalOf(const Reading& r) { return r.seeing; }
std::optional<double> tau0Of(const Reading& r) { return r.tau0; }

SiteSeeing seeingOf(TimeDistribution& distribution, double top) {
  SiteSeeing seeing;
  seeing.spread = spreadOf(distribution);
  const std::vector<double> below = distribution.percentsBelow({kSeeingLimits.begin(), kSeeingLimits.end()});
  std::copy(below.begin(), below.end(), seeing.percentBelow.begin());
  std::vector<double> steps;
  for (int i = 0; i * kCurveStep <= top + 1e-9; ++i) steps.push_back(i * kCurveStep);
  seeing.cumulative = distribution.percentsBelow(steps);
  return seeing;
}

void addSpreadLines(std::string& text, const std::string& name, const Spread& spread, int decimals) {
  const auto line = [&](const std::string& field, double value) {
    text += name + '_' + field + '=' + (spread.readings > 0 ? fixedText(value, decimals) : "") + '\n';
  };
  text += name + "_readings=" + std::to_string(spread.readings) + '\n';
  text += name + "_hours=" + fixedText(spread.hours, 2) + '\n';
  line("median", spread.median);
  line("q1", spread.q1);
  line("q3", spread.q3);
  line("q10", spread.q10);
  line("q90", spread.q90);
}

void addSeeingLines(std::string& text, const std::string& name, const SiteSeeing& seeing) {
  addSpreadLines(text, name, seeing.spread, 3);
  for (std::size_t i = 0; i < kSeeingLimits.size(); ++i) {
    text += name + "_below_" + fixedText(kSeeingLimits[i], 1) + '=' +
            (seeing.spread.readings > 0 ? fixedText(seeing.percentBelow[i], 1) : "") + '\n';
  }
}

}  // namespace

struct SiteSurvey::Parts {
  std::vector<NightSummary> nights;
  TimeDistribution best, classical;
  TimeDistribution byHour[kHoursPerDay];
  MonthParts bestMonths, tau0Months;
  TimeDistribution tau0;
};

SiteSurvey::SiteSurvey() : parts_(std::make_unique<Parts>()) {}
SiteSurvey::~SiteSurvey() = default;

void SiteSurvey::add(const Night& night) {
  Parts& p = *parts_;
  p.nights.push_back(summarizeNight(night));
  const std::string month = night.date.substr(0, 7);
  p.bestMonths.startNight(month);
  p.tau0Months.startNight(month);
  forEachWeighted(night.readings, bestOf, [&](const Reading& r, double value, double seconds) {
    p.best.add(value, seconds);
    p.byHour[hourOf(r)].add(value, seconds);
    p.bestMonths.values.add(value, seconds);
  });
  forEachWeighted(night.readings, classicalOf,
                  [&](const Reading&, double value, double seconds) { p.classical.add(value, seconds); });
  forEachWeighted(night.readings, tau0Of, [&](const Reading&, double value, double seconds) {
    p.tau0.add(value, seconds);
    p.tau0Months.values.add(value, seconds);
  });
}

SiteStatistics SiteSurvey::finish() {
  Parts& p = *parts_;
  SiteStatistics s;
  for (const NightSummary& night : p.nights) {
    s.readings += night.readings;
    s.hours += night.hours;
  }
  // The curves reach past nearly all the time of either kind, in steps of half an arcsec.
  double high = 1.5;
  for (TimeDistribution* kind : {&p.best, &p.classical}) {
    if (kind->size() > 0) high = std::max(high, kind->quantiles({0.99})[0]);
  }
  s.top = std::ceil(high * 2 - 1e-9) / 2;
  s.best = seeingOf(p.best, s.top);
  s.classical = seeingOf(p.classical, s.top);
  s.bestHistogram = p.best.hoursPerBin(kHistogramBin, static_cast<int>(std::lround(s.top / kHistogramBin)));
  for (int i = 0; i < kHoursPerDay; ++i) {
    const int hour = (i + kHoursPerDay / 2) % kHoursPerDay;  // from noon
    char name[8];
    std::snprintf(name, sizeof name, "%02d", hour);
    if (p.byHour[hour].size() > 0) s.bestByHour.push_back({name, spreadOf(p.byHour[hour])});
  }
  p.bestMonths.close();
  s.bestByMonth = std::move(p.bestMonths.done);
  if (p.tau0.size() > 0) s.tau0 = spreadOf(p.tau0);
  p.tau0Months.close();
  s.tau0ByMonth = std::move(p.tau0Months.done);
  s.nights = std::move(p.nights);
  parts_ = std::make_unique<Parts>();
  return s;
}

SiteStatistics surveyNights(const std::vector<const Reading*>& readings, const std::string& from,
                            const std::string& to) {
  SiteSurvey survey;
  forEachNight(readings, [&](const Night& night) {
    if ((from.empty() || night.date >= from) && (to.empty() || night.date <= to)) survey.add(night);
  });
  return survey.finish();
}

std::string siteSummaryText(const SiteStatistics& s) {
  std::string text = "nights=" + std::to_string(s.nights.size()) + '\n';
  text += "first_night=" + (s.nights.empty() ? "" : s.nights.front().date) + '\n';
  text += "last_night=" + (s.nights.empty() ? "" : s.nights.back().date) + '\n';
  text += "readings=" + std::to_string(s.readings) + '\n';
  text += "hours=" + fixedText(s.hours, 2) + '\n';
  addSeeingLines(text, "best", s.best);
  addSeeingLines(text, "classical", s.classical);
  if (s.tau0) addSpreadLines(text, "tau0", *s.tau0, 2);
  return text;
}

}  // namespace nebulor
