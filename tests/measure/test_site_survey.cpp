#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "../support/TempFolder.h"
#include "measure/SiteLogs.h"
#include "measure/SiteSurvey.h"

namespace nebulor {
namespace {

using testing::TempFolder;

const std::string kHeader = "local_time,seeing_arcsec,best_arcsec,tau0_ms\r\n";

// Two nights in two logs, the first night's last reading in the other log.
// Night 2026-03-28 crosses the change to summer time (01:58+01:00 is 00:58
// UTC, 03:02+02:00 is 01:02 UTC): best 1.0, 0.6, 0.8 with spacings 120 s
// and 240 s, so the first stands for their median, 180 s. Night 2026-04-30
// crosses midnight into May: best 0.4, 0.5, 0.7 two minutes apart (the
// reading between them has no best estimate) weigh 120 s each.
// Best over all time, sorted with seconds: 0.4 120, 0.5 120, 0.6 120, 0.7
// 120, 0.8 240, 1.0 180 (900 s); they stand at the middle of their time less
// half the lowest's: 0, 120, 240, 360, 540, 750 of 750. Median at 375:
// 0.7 + 15/180 x 0.1; q1 at 187.5: 0.5 + 67.5/120 x 0.1; q3 at 562.5: 0.8 +
// 22.5/210 x 0.2; q10 at 75, q90 at 675. Below 0.5: 120 of 900 s, below
// 0.8: 480, below 1.0: 720. By rank alone the median would be 0.65.
const std::string kLog =
    kHeader + "2026-03-29T01:56:00+01:00,0.95,1.0,3\r\n" + "2026-03-29T01:58:00+01:00,0.55,0.6,5\r\n";
const std::string kOtherLog =
    kHeader + "2026-05-01T00:03:00+02:00,0.65,0.7,\r\n" + "2026-04-30T23:59:00+02:00,0.35,0.4,\r\n" +
    "2026-05-01T00:01:00+02:00,0.45,0.5,\r\n" + "2026-05-01T00:02:00+02:00,0.9,,\r\n" +
    "2026-03-29T03:02:00+02:00,0.75,0.8,\r\n";

TEST(SiteSurvey, WeighsEveryReadingByTheTimeItStandsForAcrossLogsNightsAndClockChanges) {
  TempFolder folder;
  folder.write("SeeingReadings.csv", kLog);
  folder.write("SeeingReadings-20260430-235900.csv", kOtherLog);
  const SiteLogs logs({folder.folder()});
  ASSERT_EQ(logs.logs().size(), 2u);
  const SiteStatistics all = surveyNights(logs.readings(), "", "");
  ASSERT_EQ(all.nights.size(), 2u);
  EXPECT_EQ(all.nights[0].date, "2026-03-28");
  EXPECT_EQ(all.nights[1].date, "2026-04-30");
  // Classical of the second night: spacings 120, 60, 60, the first stands for 60.
  EXPECT_NEAR(all.hours, (540 + 300) / 3600.0, 1e-9);
  const Spread& best = all.best.spread;
  const struct {
    const char* name;
    double value, expected;
  } cases[] = {
      {"median", best.median, 0.7 + 15.0 / 180 * 0.1},
      {"q1", best.q1, 0.5 + 67.5 / 120 * 0.1},
      {"q3", best.q3, 0.8 + 22.5 / 210 * 0.2},
      {"q10", best.q10, 0.4 + 75.0 / 120 * 0.1},
      {"q90", best.q90, 0.8 + 135.0 / 210 * 0.2},
      {"below 0.5", all.best.percentBelow[0], 100 * 120 / 900.0},
      {"below 0.8", all.best.percentBelow[1], 100 * 480 / 900.0},
      {"below 1.0", all.best.percentBelow[2], 80},
      {"below 1.5", all.best.percentBelow[3], 100},
      {"hours", best.hours, 900 / 3600.0},
      // Hours of the local clock, in the night's order: 23, 00, 01 (1.0 180 s, 0.6 120 s), 03.
      {"hour 01 median", all.bestByHour[2].spread.median, 0.6 + 75.0 / 150 * 0.4},
      // The night's and March's: 0.6 120, 0.8 240, 1.0 180 s at 0, 180, 390 of 390.
      {"night median", all.nights[0].best.median, 0.8 + 15.0 / 210 * 0.2},
      {"March median", all.bestByMonth[0].spread.median, 0.8 + 15.0 / 210 * 0.2},
      // April by the evening's date, its readings in May too.
      {"April median", all.bestByMonth[1].spread.median, 0.5},
      {"tau0 median", all.tau0 ? all.tau0->median : 0, 4},
  };
  for (const auto& c : cases) EXPECT_NEAR(c.value, c.expected, 1e-9) << c.name;
  std::string hours;
  for (const PartSpread& part : all.bestByHour) hours += part.name + ' ';
  EXPECT_EQ(hours, "23 00 01 03 ");
  ASSERT_EQ(all.bestByMonth.size(), 2u);
  EXPECT_EQ(all.bestByMonth[1].name, "2026-04");
  ASSERT_EQ(all.tau0ByMonth.size(), 1u);
  EXPECT_EQ(all.tau0ByMonth[0].name, "2026-03");
  // The cumulative curve in steps of 0.01 arcsec: below 0.45 lies the 0.4.
  EXPECT_NEAR(all.best.cumulative[45], 100 * 120 / 900.0, 1e-9);

  const SiteStatistics april = surveyNights(logs.readings(), "2026-04-01", "2026-12-31");
  ASSERT_EQ(april.nights.size(), 1u);
  EXPECT_NEAR(april.best.spread.median, 0.5, 1e-9);
  EXPECT_FALSE(april.tau0);
  EXPECT_NE(siteSummaryText(all).find("best_median=0.708\n"), std::string::npos) << siteSummaryText(all);
  EXPECT_EQ(siteSummaryText(april).find("tau0"), std::string::npos);
}

// A folder's readings logs are found by the names Nebulor gives them; what
// cannot be read costs itself alone, with a note; a log named twice counts once.
TEST(SiteLogs, ReadsEveryReadingsLogOnceAndSaysWhatItSkipped) {
  TempFolder folder;
  const std::string row = "2026-12-07T22:00:00+01:00,0.9,1.0,\r\n";
  folder.write("SeeingReadings.csv", kHeader + row + row.substr(0, 12));
  folder.write("SeeingReadings-20261201-120000-2.csv", "date,temperature\n2026-12-07,3.5\n");
  folder.write("SeeingReadings-20261202-120000.csv", "");
  folder.write("SeeingReadings-2026.csv", kHeader + row);
  folder.write("notes.csv", kHeader + row);
  ASSERT_EQ(::mkfifo(folder.file("SeeingReadings-20261203-120000.csv").c_str(), 0600), 0);
  const SiteLogs logs({folder.folder(), folder.file("SeeingReadings.csv"), folder.file("missing.csv")});
  EXPECT_EQ(logs.logs(), std::vector<std::string>{folder.file("SeeingReadings.csv")});
  EXPECT_EQ(logs.readings().size(), 1u);
  std::string notes;
  for (const std::string& note : logs.notes()) notes += note + '\n';
  for (const char* expected :
       {"SeeingReadings-20261201-120000-2.csv was skipped: it is not a Nebulor readings log",
        "SeeingReadings-20261202-120000.csv was skipped: it is empty",
        "SeeingReadings-20261203-120000.csv is not a file", "SeeingReadings.csv: 1 row cut short",
        "missing.csv: there is no such file"}) {
    EXPECT_NE(notes.find(expected), std::string::npos) << expected << '\n' << notes;
  }
  EXPECT_EQ(notes.find("2026.csv"), std::string::npos) << notes;
  EXPECT_EQ(notes.find("notes.csv"), std::string::npos) << notes;
  EXPECT_TRUE(SiteLogs({folder.file("notes.csv")}).readings().size() == 1);  // named, any name is read
}

}  // namespace
}  // namespace nebulor
