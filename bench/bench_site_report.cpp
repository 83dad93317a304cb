// A year of readings to a site report: 365 nights of 3,000 readings (one
// every 12 s from 19:00 local time) in one readings log, read, summed up and
// written as the HTML page, as nebulor --report does it. Targets: under 10 s
// and 300 MB; peak_MB is the process's largest resident size, whole.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QDir>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "app/SiteReport.h"
#include "measure/ReadingsLog.h"

namespace {

constexpr int kNights = 365;
constexpr int kReadingsPerNight = 3000;
constexpr std::time_t kFirstEvening = 1767290400;  // 2026-01-01 19:00 in Central Europe

// The year's log, written row by row: never whole in memory.
bool writeYear(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  std::fputs((std::string(nebulor::kReadingsLogHeader) + "\r\n").c_str(), file);
  for (int night = 0; night < kNights; ++night) {
    const double nightly = 0.8 + 0.25 * std::cos(night / 58.0) + 0.1 * std::sin(night * 2.3);
    for (int n = 0; n < kReadingsPerNight; ++n) {
      nebulor::Reading r;
      const std::time_t time = kFirstEvening + night * 86400L + 12L * n;
      r.time = nebulor::WallClock::from_time_t(time);
      r.utcOffset = nebulor::utcOffsetAt(time);
      r.airmass = 1.1 + 0.3 * std::sin(n / 900.0);
      r.seeing = static_cast<float>(nightly * (1.1 - n / 30000.0) + 0.15 * std::sin(n * 1.7));
      r.r0 = 10;
      r.exposuresUsed = 20;
      r.exposuresRejected = n % 7 == 0 ? 2 : 0;
      r.seeingError = 0.1;
      r.best = r.seeing * 1.05;
      r.bestError = 0.12;
      r.bestExposure = 0.01f;
      std::fputs((nebulor::readingsLogRow(r) + "\r\n").c_str(), file);
    }
  }
  return std::fclose(file) == 0;
}

void BM_YearToSiteReport(benchmark::State& bench) {
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  const std::string folder = (QDir::tempPath() + QStringLiteral("/nebulor-bench-site/")).toStdString();
  QDir().mkpath(QString::fromStdString(folder));
  if (!writeYear(folder + nebulor::kReadingsLogFileName)) bench.SkipWithError("cannot write the year's log");
  const nebulor::SiteReportRequest request{{folder}, "", "", "Benchmark", false, folder + "report.html"};
  for (auto _ : bench) {
    const nebulor::SiteSurveyed surveyed = nebulor::surveySite(request);
    if (surveyed.failure || surveyed.statistics.readings != kNights * kReadingsPerNight)
      bench.SkipWithError("the year was not read whole");
    if (nebulor::writeSiteReport(request, surveyed)) bench.SkipWithError("cannot write the report");
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  bench.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024;
  QDir(QString::fromStdString(folder)).removeRecursively();
}
BENCHMARK(BM_YearToSiteReport)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
