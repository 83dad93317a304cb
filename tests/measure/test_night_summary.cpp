#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>

#include "../support/TempFolder.h"
#include "measure/NightSummary.h"
#include "measure/ReadingsLog.h"
#include "measure/ReadingsReader.h"

namespace nebulor {
namespace {

using testing::TempFolder;

const std::string kHeader = std::string(kReadingsLogHeader) + "\r\n";

// time, classical, best (may be empty), rejected exposures of 20 used; the
// columns after best_error_arcsec left empty.
std::string row(const std::string& time, const std::string& seeing, const std::string& best,
                int rejected = 0) {
  const std::string header = kReadingsLogHeader;
  const auto later = std::count(header.begin(), header.end(), ',') - 10;
  return time + ",1.2," + seeing + ",10,0.5,0.5,20," + std::to_string(rejected) + ",0.1," + best +
         (best.empty() ? "," : ",0.1") + std::string(static_cast<std::size_t>(later), ',') + "\r\n";
}

ReadingsReader readText(const std::string& text) {
  ReadingsReader reader;
  reader.feed(text);
  reader.finish();
  return reader;
}

// Ten readings five minutes apart with a gap of 55 minutes after the
// eighth, one without a best estimate, and a reading of the night before.
// Worked out by hand, quartiles linear between closest ranks at (n - 1) p:
// best sorted 0.5 0.6 0.7 0.75 0.8 | 0.9 0.95 1.0 1.1 1.2: median 0.85,
// q1 at 2.25: 0.7125, q3 at 6.75: 0.9875; below 0.8: 4 of 10, below 1.0: 7.
// 30-minute windows of six readings from 22:00, 22:05, 22:10: medians 0.8,
// 0.75, 0.85. Classical (best - 0.1, and 2.0): 11 values, median 0.8, q1
// 0.625, q3 0.95, below 0.8: 5 of 11, below 1.0: 8 of 11. Every reading
// stands for 5 minutes: 11 x 300 s. Rejected: 5 of 225 exposures.
TEST(NightSummary, QuartilesSharesAndBestHalfHourOfAHandMadeNight) {
  const char* times[] = {"22:00", "22:05", "22:10", "22:15", "22:20", "22:25", "22:30", "22:35"};
  const double best[] = {1.0, 0.6, 0.9, 0.7, 1.2, 0.5, 0.8, 1.1};
  std::string log = kHeader + row("2026-12-06T23:00:00+01:00", "3", "3");
  for (int i = 0; i < 8; ++i) {
    log += row("2026-12-07T" + std::string(times[i]) + ":00+01:00", std::to_string(best[i] - 0.1),
               std::to_string(best[i]), i == 3 ? 5 : 0);
  }
  log += row("2026-12-07T23:30:00+01:00", "0.65", "0.75") + row("2026-12-07T23:35:00+01:00", "0.85", "0.95") +
         row("2026-12-07T23:40:00+01:00", "2.0", "");
  const ReadingsReader reader = readText(log);
  const NightSummary s = summarizeNight(selectNight(reader.readings(), ""));
  EXPECT_EQ(s.date, "2026-12-07");
  EXPECT_EQ(s.readings, 11);
  EXPECT_NEAR(s.hours, 11 * 300 / 3600.0, 1e-9);
  EXPECT_NEAR(s.rejectedShare, 100 * 5 / 225.0, 1e-9);
  const struct {
    const SeeingSummary& seeing;
    int readings;
    double median, q1, q3, below08, below10;
    std::optional<double> best30;
  } cases[] = {{s.best, 10, 0.85, 0.7125, 0.9875, 40, 70, 0.75},
               {s.classical, 11, 0.8, 0.625, 0.95, 100 * 5 / 11.0, 100 * 8 / 11.0, 0.65}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.seeing.readings, c.readings);
    EXPECT_NEAR(c.seeing.median, c.median, 1e-9);
    EXPECT_NEAR(c.seeing.q1, c.q1, 1e-9);
    EXPECT_NEAR(c.seeing.q3, c.q3, 1e-9);
    EXPECT_NEAR(c.seeing.below08, c.below08, 1e-9);
    EXPECT_NEAR(c.seeing.below10, c.below10, 1e-9);
    ASSERT_TRUE(c.seeing.best30.has_value());
    EXPECT_NEAR(*c.seeing.best30, *c.best30, 1e-9);
    EXPECT_EQ(clockText(*c.seeing.best30Start), "22:05");
  }
  const std::string text = nightSummaryText(s);
  for (const char* line : {"night=2026-12-07\n", "readings=11\n", "hours=0.92\n", "best_median=0.850\n",
                           "best_below_0.8=40.0\n", "best_30min=0.750\n", "best_30min_start=22:05\n",
                           "classical_median=0.800\n", "rejected_share=2.2\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  }
  EXPECT_EQ(selectNight(reader.readings(), "2026-12-06").readings.size(), 1u);
}

TEST(NightSummary, Tau0MedianOnlyWhenTheNightHasTau0) {
  Night night{"2026-12-07", std::vector<Reading>(3)};
  for (int i = 0; i < 3; ++i) night.readings[i].time = WallClock::from_time_t(1796681645 + 60 * i);
  EXPECT_EQ(nightSummaryText(summarizeNight(night)).find("tau0"), std::string::npos);
  night.readings[0].tau0 = 5.0;
  night.readings[2].tau0 = 4.0;
  EXPECT_TRUE(nightSummaryText(summarizeNight(night)).ends_with("\ntau0_median=4.50\n"));
}

// Rows that cannot be read cost only themselves, with one note per kind of
// problem; a file with nothing readable says why.
TEST(ReadingsReader, SkipsTornAndForeignRowsWithOneNoteEachAndSaysWhyNothingIsReadable) {
  const std::string good = row("2026-12-07T22:00:00+01:00", "0.9", "1.0");
  const struct {
    std::string text;
    std::size_t readings;
    std::vector<std::string> notes;
    std::string failure;
  } cases[] = {
      {kHeader + good + good.substr(0, 40), 1, {"1 row cut short"}, ""},
      {kHeader + good + "2026-12-07T22:01:00+01:00,1.2,fast" + good.substr(33) + good.substr(0, 30) + "\r\n" +
           good.substr(0, 30) + "\r\n",
       1,
       {"2 rows cut short", "1 row with a field that is not a time or a number"},
       ""},
      {kHeader + good + "2026-12-07 22:00:00+01:00" + good.substr(25) + good.substr(0, good.size() - 2) +
           ",7\r\n",
       1,
       {"1 row with a field", "1 row with more fields than the header"},
       ""},
      // A later version's extra column, and the columns in another order.
      {std::string(kReadingsLogHeader) + ",exposure_corrected_arcsec\n" + good.substr(0, good.size() - 2) +
           ",0.8\n",
       1,
       {},
       ""},
      {"seeing_arcsec,local_time\n0.9,2026-12-07T22:00:00Z\n", 1, {}, ""},
      {"", 0, {}, "it is empty"},
      {kHeader, 0, {}, "no readable reading"},
      {kHeader + good.substr(0, 20), 0, {"1 row cut short"}, "no readable reading"},
      {"date,temperature\n2026-12-07,3.5\n", 0, {}, "not a Nebulor readings log"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const ReadingsReader reader = readText(c.text);
    EXPECT_EQ(reader.readings().size(), c.readings);
    const std::vector<std::string> notes = reader.notes();
    ASSERT_EQ(notes.size(), c.notes.size());
    for (std::size_t i = 0; i < notes.size(); ++i) EXPECT_EQ(notes[i].rfind(c.notes[i], 0), 0u) << notes[i];
    if (c.failure.empty()) {
      EXPECT_EQ(reader.failure(), std::nullopt);
    } else {
      ASSERT_TRUE(reader.failure());
      EXPECT_NE(reader.failure()->reason.find(c.failure), std::string::npos);
    }
  }
}

// The window reads the log as it grows: only what was appended, a row in
// mid-write once it is complete, and a new log from its start.
TEST(ReadingsReader, ReadsOnlyWhatWasAppendedAndStartsAgainOnANewLog) {
  TempFolder temp;
  const std::string path = temp.file(kReadingsLogFileName);
  const std::string first = row("2026-12-07T22:00:00+01:00", "0.9", "1.0");
  const std::string second = row("2026-12-07T22:01:00+01:00", "0.8", "0.9");
  const struct {
    std::string file;
    std::size_t readings;
  } steps[] = {{kHeader + first + second.substr(0, 30), 1},
               {kHeader + first + second, 2},
               {kHeader + first + second + first, 3},
               {kHeader + second, 1}};
  ReadingsReader reader;
  for (const auto& step : steps) {
    temp.write(kReadingsLogFileName, step.file);
    EXPECT_EQ(reader.readNew(path), std::nullopt);
    EXPECT_EQ(reader.readings().size(), step.readings);
    EXPECT_TRUE(reader.notes().empty());
  }
  EXPECT_NE(ReadingsReader().readNew(temp.file("missing.csv")), std::nullopt);
}

// A night runs from noon to noon in the rows' own local time, named by its
// evening; across midnight and across a change of daylight-saving time the
// readings keep their order and their spacing, whatever the machine's zone.
TEST(Night, RunsNoonToNoonInTheRowsLocalTimeAcrossMidnightAndClockChanges) {
  setenv("TZ", "<+1345>-13:45", 1);  // far from every row's zone: the rows' offsets decide
  tzset();
  const struct {
    const char* name;
    std::vector<const char*> times;  // all of the night
    const char* night;
    double seconds;  // measured
    const char* firstClock;
  } cases[] = {
      {"across midnight",
       {"2026-12-07T23:58:00+01:00", "2026-12-08T00:02:00+01:00", "2026-12-08T11:59:00+01:00"},
       "2026-12-07",
       3 * 240,
       "23:58"},
      {"clocks back",
       {"2026-10-25T02:58:00+02:00", "2026-10-25T02:02:00+01:00"},
       "2026-10-24",
       2 * 240,
       "02:58"},
      {"clocks forward",
       {"2026-03-29T01:58:00+01:00", "2026-03-29T03:02:00+02:00"},
       "2026-03-28",
       2 * 240,
       "01:58"},
      {"west of Greenwich",
       {"2026-12-07T20:00:00-05:00", "2026-12-08T06:00:00-05:00"},
       "2026-12-07",
       0,
       "20:00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The nights before and after, a second either side of noon.
    std::string log =
        kHeader + row("2026-12-07T11:59:59+01:00", "1", "1") + row("2026-12-08T12:00:00+01:00", "1", "1");
    for (auto at = c.times.rbegin(); at != c.times.rend(); ++at) log += row(*at, "1", "1");  // newest first
    const Night night = selectNight(readText(log).readings(), c.night);
    ASSERT_EQ(night.readings.size(), c.times.size());
    EXPECT_EQ(nightDate(night.readings.front()), c.night);
    EXPECT_EQ(clockText(night.readings.front()), c.firstClock);
    EXPECT_NEAR(summarizeNight(night).hours * 3600, c.seconds, 1e-6);
  }
}

}  // namespace
}  // namespace nebulor
