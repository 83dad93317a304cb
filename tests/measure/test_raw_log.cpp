#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../support/TempFolder.h"
#include "measure/RawLog.h"
#include "measure/SeeingReduction.h"

namespace nebulor {
namespace {

using testing::readBytes;
using testing::TempFolder;

const std::string kHeaderLine = "\"Local Time\",\"Airmass\",\"X1\",\"Y1\",\"X2\",\"Y2\"";

std::tm localTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm time{};
  time.tm_year = year - 1900;
  time.tm_mon = month - 1;
  time.tm_mday = day;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  return time;
}

// ---- row text -------------------------------------------------------------

TEST(RawLogRow, MatchesThePublishedExampleLines) {
  EXPECT_EQ(rawLogRow(localTime(2026, 12, 6, 3, 50, 35), CalcAirmass(60), 512.3f, 300.25f, 540.125f, 310.5f),
            "#2026-12-06 03:50:35#,1.15470053798039,512.3,300.25,540.125,310.5");
  EXPECT_EQ(rawLogRow(localTime(2026, 12, 6, 3, 50, 36), 1, 512.2f, 300.5f, 540, 310.75f),
            "#2026-12-06 03:50:36#,1,512.2,300.5,540,310.75");
}

TEST(RawLogRow, OnlyExactMidnightDropsTheTime) {
  const struct {
    std::tm time;
    const char* field;
  } cases[] = {
      {localTime(2026, 12, 7, 0, 0, 0), "#2026-12-07#"},
      {localTime(2026, 12, 7, 0, 0, 1), "#2026-12-07 00:00:01#"},
      {localTime(2026, 12, 7, 0, 1, 0), "#2026-12-07 00:01:00#"},
      {localTime(2026, 12, 7, 12, 0, 0), "#2026-12-07 12:00:00#"},
      {localTime(2027, 1, 1, 23, 59, 59), "#2027-01-01 23:59:59#"},
      {localTime(987, 2, 3, 4, 5, 6), "#0987-02-03 04:05:06#"},
  };
  for (const auto& c : cases) {
    const std::string row = rawLogRow(c.time, 1, 0, 0, 0, 0);
    EXPECT_EQ(row.substr(0, row.find(',')), c.field);
  }
}

TEST(RawLogRow, NumbersHaveNoTrailingZerosAndKeepTheirSign) {
  EXPECT_EQ(rawLogRow(localTime(2026, 1, 2, 3, 4, 5), 2.5, -0.5f, 0.125f, 1e-5f, -0.0f),
            "#2026-01-02 03:04:05#,2.5,-0.5,0.125,1e-05,0");
  // Positions are singles: 7 significant digits, not the 9 that a float can carry.
  EXPECT_EQ(rawLogRow(localTime(2026, 1, 2, 3, 4, 5), 1.0 / 3.0, 1.0f / 3.0f, 2048.123f, 0.1f, 100),
            "#2026-01-02 03:04:05#,0.333333333333333,0.3333333,2048.123,0.1,100");
}

// ---- the file -------------------------------------------------------------

TEST(RawLogFile, HoldsTheHeaderAndEveryRowWithCrLfAsSoonAsWritten) {
  TempFolder temp;
  RawLog log;
  log.open(temp.folder());
  EXPECT_TRUE(log.isOpen());
  const std::string path = temp.file(kRawLogFileName);
  ASSERT_EQ(kHeaderLine.size(), 42u);
  EXPECT_EQ(readBytes(path), kHeaderLine + "\r\n");

  std::string expected = kHeaderLine + "\r\n";
  for (int n = 1; n <= 25; ++n) {  // a reading of 20 accepted and 5 rejected exposures
    const std::tm time = localTime(2026, 12, 6, 3, 50, n);
    log.writeRow(time, 1, 512.5f + n, 300, 540, 310.25f);
    expected += rawLogRow(time, 1, 512.5f + n, 300, 540, 310.25f) + "\r\n";
    ASSERT_EQ(readBytes(path), expected) << "row " << n << " must be in the file before the log closes";
  }
  log.close();
  EXPECT_FALSE(log.isOpen());
  EXPECT_EQ(readBytes(path), expected);
}

TEST(RawLogFile, EachRunStartsTheFileAfresh) {
  TempFolder temp;
  const std::string path = temp.file(kRawLogFileName);
  testing::writeBytes(path, "left over from somewhere else\r\n");
  {
    RawLog first;
    first.open(temp.folder());
    first.writeRow(localTime(2026, 12, 6, 1, 0, 0), 1.5, 1, 2, 3, 4);
    first.writeRow(localTime(2026, 12, 6, 1, 0, 1), 1.5, 1, 2, 3, 4);
  }  // the destructor closes the first run's log
  RawLog second;
  second.open(temp.folder());
  second.writeRow(localTime(2026, 12, 6, 2, 0, 0), 2, 5, 6, 7, 8);
  second.close();
  EXPECT_EQ(readBytes(path), kHeaderLine + "\r\n" + "#2026-12-06 02:00:00#,2,5,6,7,8\r\n");

  RawLog empty;  // a run that ends at once leaves the header only
  empty.open(temp.folder());
  empty.close();
  EXPECT_EQ(readBytes(path), kHeaderLine + "\r\n");
}

TEST(RawLogFile, MisuseIsReportedAndLeavesTheFileAsItWas) {
  TempFolder temp;
  const std::string path = temp.file(kRawLogFileName);
  RawLog log;
  EXPECT_THROW(log.writeRow(localTime(2026, 1, 1, 1, 1, 1), 1, 1, 1, 1, 1), RawLogError);
  EXPECT_FALSE(std::filesystem::exists(path)) << "writing while closed creates nothing";

  log.open(temp.folder());
  log.writeRow(localTime(2026, 1, 1, 1, 1, 1), 1, 1, 1, 1, 1);
  const std::string written = readBytes(path);
  EXPECT_THROW(log.open(temp.folder()), RawLogError);
  EXPECT_TRUE(log.isOpen()) << "the first opening still holds";
  EXPECT_EQ(readBytes(path), written) << "a second opening must not empty the file";

  log.close();
  log.close();  // every way out of a run closes; twice is harmless
  EXPECT_THROW(log.writeRow(localTime(2026, 1, 1, 1, 1, 2), 1, 1, 1, 1, 1), RawLogError);
  EXPECT_EQ(readBytes(path), written);
}

TEST(RawLogFile, AFolderThatCannotHoldTheLogGivesAReadableReason) {
  TempFolder temp;
  const std::string missing = temp.folder() + "no-such-folder" + kPathSeparator;
  RawLog log;
  try {
    log.open(missing);
    FAIL() << "opening in a missing folder must fail";
  } catch (const RawLogError& error) {
    const std::string reason = error.what();
    EXPECT_NE(reason.find(missing + kRawLogFileName), std::string::npos) << reason;
  }
  EXPECT_FALSE(log.isOpen());
}

#ifdef __linux__
// /dev/full takes the bytes and refuses them when they are flushed, as a
// full disk would.
TEST(RawLogFile, AFullDiskIsReportedAndClosesTheLog) {
  TempFolder temp;
  std::filesystem::create_symlink("/dev/full", temp.file(kRawLogFileName));
  RawLog log;
  try {
    log.open(temp.folder());
    FAIL() << "the header cannot be written to a full disk";
  } catch (const RawLogError& error) {
    EXPECT_NE(std::string(error.what()).find("space"), std::string::npos) << error.what();
  }
  EXPECT_FALSE(log.isOpen());
  EXPECT_THROW(log.writeRow(localTime(2026, 1, 1, 1, 1, 1), 1, 1, 1, 1, 1), RawLogError);
}
#endif

}  // namespace
}  // namespace nebulor
