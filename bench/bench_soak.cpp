// A long night of the demo: 10,000 readings of 5 exposures each from the
// simulator in instant mode, through the whole program (window offscreen).
// Checks, reported as counters and as an error when one fails:
//   memory (resident set) at the end within 10% of that after 100 readings;
//   every printed number finite;
//   raw-log rows = readings x 5 + rejected exposures.
// Not part of the tests: it takes minutes. build-test/bench/bench_soak
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>

#include "app/BackendFactory.h"
#include "app/Session.h"
#include "config/ConfigFile.h"
#include "measure/RawLog.h"
#include "support/TempFolder.h"

namespace {

constexpr int kReadings = 10000;
constexpr int kSamplesPerReading = 5;
constexpr int kSettledReadings = 100;

double residentMegabytes() {
  std::ifstream statm("/proc/self/statm");
  double pages = 0;
  double resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1e6;
}

// Takes the demo's lines as they are printed: checks each one's numbers,
// adds up the rejected exposures and notes the memory after kSettledReadings.
class ReadingLines : public std::streambuf {
 public:
  int lines = 0;
  int nonFinite = 0;
  long rejected = 0;
  double settledMegabytes = 0;

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return 0;
    if (c != '\n') {
      line_ += static_cast<char>(c);
      return c;
    }
    take(line_);
    line_.clear();
    return c;
  }

 private:
  void take(const std::string& line) {
    ++lines;
    std::istringstream fields(line);
    for (std::string field; fields >> field;) {
      const std::string name = field.substr(0, field.find('='));
      const double value = std::stod(field.substr(field.find('=') + 1));
      if (!std::isfinite(value)) ++nonFinite;
      // rejected=P (percent of all exposures of the reading, one decimal)
      // gives their number back exactly while it stays below about 20.
      if (name == "rejected") rejected += std::lround(value * kSamplesPerReading / (100 - value));
    }
    if (lines == kSettledReadings) settledMegabytes = residentMegabytes();
  }

  std::string line_;
};

long rawLogRows(const std::string& path) {
  std::ifstream log(path);
  long rows = -1;  // the header line
  for (std::string line; std::getline(log, line);) ++rows;
  return rows;
}

void BM_SoakNight(benchmark::State& bench) {
  for (auto _ : bench) {
    nebulor::testing::TempFolder temp;
    nebulor::Config config = nebulor::defaultConfig();
    config.samplesPerReading = kSamplesPerReading;
    nebulor::SaveConfig(config, true, temp.folder());
    auto backend =
        nebulor::camera::makeBackend("sim:timing=instant,seed=3", nebulor::camera::BackendUse::demo);
    ReadingLines lines;
    std::ostream out(&lines);
    std::ostringstream err;
    const int exitCode = nebulor::runDemo(*qApp, backend, kReadings, temp.folder(), out, err);
    const double endMegabytes = residentMegabytes();
    const long rows = rawLogRows(temp.file(nebulor::kRawLogFileName));
    const long expectedRows = static_cast<long>(lines.lines) * kSamplesPerReading + lines.rejected;
    const double growth = 100 * (endMegabytes - lines.settledMegabytes) / lines.settledMegabytes;

    bench.counters["readings"] = lines.lines;
    bench.counters["rss_after_100_MB"] = lines.settledMegabytes;
    bench.counters["rss_end_MB"] = endMegabytes;
    bench.counters["rss_growth_pct"] = growth;
    bench.counters["non_finite_lines"] = lines.nonFinite;
    bench.counters["log_rows"] = static_cast<double>(rows);
    bench.counters["expected_rows"] = static_cast<double>(expectedRows);
    std::fprintf(stderr,
                 "readings %d, RSS %.1f MB after %d, %.1f MB at the end, %d non-finite, %ld rows of %ld\n",
                 lines.lines, lines.settledMegabytes, kSettledReadings, endMegabytes, lines.nonFinite, rows,
                 expectedRows);
    if (exitCode != 0 || lines.lines != kReadings) {
      bench.SkipWithError(("the demo ended early: " + err.str()).c_str());
    } else if (growth > 10) {
      bench.SkipWithError("memory grew by more than 10%");
    } else if (lines.nonFinite > 0) {
      bench.SkipWithError("a printed number is not finite");
    } else if (rows != expectedRows) {
      bench.SkipWithError("raw-log rows differ from readings x 5 + rejected");
    }
  }
}
BENCHMARK(BM_SoakNight)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
