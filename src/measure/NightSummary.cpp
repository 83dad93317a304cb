#include "measure/NightSummary.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <numeric>

#include "core/NumberText.h"
#include "measure/RunningMedian.h"
#include "measure/TimeDistribution.h"

namespace nebulor {

namespace {

constexpr std::time_t kBestWindow = 30 * 60;

SeeingSummary summarize(const std::vector<Reading>& all,
                        const std::function<std::optional<double>(const Reading&)>& valueOf) {
  std::vector<Reading> readings;
  std::vector<double> values;
  std::vector<std::time_t> times;
  for (const Reading& reading : all) {
    if (const std::optional<double> value = valueOf(reading)) {
      readings.push_back(reading);
      values.push_back(*value);
      times.push_back(reading.seconds());
    }
  }
  SeeingSummary summary;
  summary.readings = static_cast<int>(values.size());
  if (values.empty()) return summary;
  const std::vector<double> durations = readingDurations(readings);
  TimeDistribution distribution;
  for (std::size_t i = 0; i < values.size(); ++i) distribution.add(values[i], durations[i]);
  const std::vector<double> quartiles = distribution.quantiles({0.25, 0.5, 0.75});
  summary.q1 = quartiles[0];
  summary.median = quartiles[1];
  summary.q3 = quartiles[2];
  const std::vector<double> below = distribution.percentsBelow({0.8, 1.0});
  summary.below08 = below[0];
  summary.below10 = below[1];

  // Windows of 30 minutes from each reading on, counted when their readings stand for all of it.
  const std::vector<double> medians = runningMedians(times, values, 0, kBestWindow - 1);
  std::vector<double> measured(durations.size() + 1, 0);  // measured[i]: time of the readings before i
  std::partial_sum(durations.begin(), durations.end(), measured.begin() + 1);
  std::size_t end = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    for (; end < values.size() && times[end] < times[i] + kBestWindow; ++end) {
    }
    const bool whole = measured[end] - measured[i] >= static_cast<double>(kBestWindow) - 1;
    if (whole && (!summary.best30 || medians[i] < *summary.best30)) {
      summary.best30 = medians[i];
      summary.best30Start = readings[i];
    }
  }
  return summary;
}

void addSeeingLines(std::string& text, const std::string& name, const SeeingSummary& summary) {
  const auto line = [&](const std::string& field, const std::string& value) {
    text += name + '_' + field + '=' + value + '\n';
  };
  const bool any = summary.readings > 0;
  line("readings", std::to_string(summary.readings));
  line("median", any ? fixedText(summary.median, 3) : "");
  line("q1", any ? fixedText(summary.q1, 3) : "");
  line("q3", any ? fixedText(summary.q3, 3) : "");
  line("below_0.8", any ? fixedText(summary.below08, 1) : "");
  line("below_1.0", any ? fixedText(summary.below10, 1) : "");
  line("30min", summary.best30 ? fixedText(*summary.best30, 3) : "");
  line("30min_start", summary.best30Start ? clockText(*summary.best30Start) : "");
}

}  // namespace

NightSummary summarizeNight(const Night& night) {
  NightSummary summary;
  summary.date = night.date;
  summary.readings = static_cast<int>(night.readings.size());
  const std::vector<double> durations = readingDurations(night.readings);
  summary.hours = std::accumulate(durations.begin(), durations.end(), 0.0) / 3600;
  summary.best = summarize(night.readings, [](const Reading& r) { return r.best; });
  summary.classical =
      summarize(night.readings, [](const Reading& r) { return std::optional<double>(r.seeing); });
  long used = 0;
  long rejected = 0;
  for (const Reading& reading : night.readings) {
    used += reading.exposuresUsed;
    rejected += reading.exposuresRejected;
  }
  summary.rejectedShare =
      used + rejected > 0 ? 100.0 * static_cast<double>(rejected) / static_cast<double>(used + rejected) : 0;
  const SeeingSummary tau0 = summarize(night.readings, [](const Reading& r) { return r.tau0; });
  if (tau0.readings > 0) summary.tau0Median = tau0.median;
  return summary;
}

std::string nightSummaryText(const NightSummary& summary) {
  std::string text = "night=" + summary.date + '\n';
  text += "readings=" + std::to_string(summary.readings) + '\n';
  text += "hours=" + fixedText(summary.hours, 2) + '\n';
  addSeeingLines(text, "best", summary.best);
  addSeeingLines(text, "classical", summary.classical);
  text += "rejected_share=" + fixedText(summary.rejectedShare, 1) + '\n';
  if (summary.tau0Median) text += "tau0_median=" + fixedText(*summary.tau0Median, 2) + '\n';
  return text;
}

}  // namespace nebulor
