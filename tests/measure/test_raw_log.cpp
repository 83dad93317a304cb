#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#ifdef __linux__
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "../support/FileSizeLimit.h"
#endif

#include "../support/TempFolder.h"
#include "measure/LogFile.h"
#include "measure/RawLog.h"
#include "measure/ReadingsLog.h"
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

// ---- the previous run's file -------------------------------------------------

// Each run starts a new file; a previous one with content is kept under the
// time of its first row (only a date at midnight), an empty one is replaced.
TEST(RawLogArchive, EachRunStartsANewFileAndKeepsThePreviousUnderItsFirstRowsTime) {
  TempFolder temp;
  const std::string path = temp.file(kRawLogFileName);
  testing::writeBytes(path, "");
  std::string previous;
  const std::tm starts[] = {localTime(2026, 12, 6, 1, 2, 3), localTime(2026, 12, 7, 0, 0, 0),
                            localTime(2026, 12, 7, 2, 0, 0)};
  for (const std::tm& start : starts) {
    RawLog log;
    log.open(temp.folder());
    log.writeRow(start, 1.5, 1, 2, 3, 4);
    log.close();
    EXPECT_EQ(readBytes(path), kHeaderLine + "\r\n" + rawLogRow(start, 1.5, 1, 2, 3, 4) + "\r\n");
    previous += readBytes(path);
  }
  EXPECT_EQ(readBytes(temp.file("RawStarMeasurements-20261206-010203.csv")) +
                readBytes(temp.file("RawStarMeasurements-20261207-000000.csv")) + readBytes(path),
            previous);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.path()), {}), 3)
      << "the empty file was not worth keeping";
}

// The 2t exposures' log belongs to its run's raw log: a new run moves it
// aside under the raw log's stamp, even a run that takes no 2t exposures.
TEST(RawLogArchive, TheCompanionLogGoesAsideWithTheRawLogOfItsRun) {
  TempFolder temp;
  const std::tm start = localTime(2026, 12, 6, 1, 2, 3);
  {
    RawLog raw(kRawLogFileName, kDoubleExposureLogFileName);
    RawLog doubled(kDoubleExposureLogFileName);
    raw.open(temp.folder());
    raw.writeRow(start, 1, 1, 2, 3, 4);
    doubled.open(temp.folder());
    doubled.writeRow(localTime(2026, 12, 6, 1, 2, 4), 1, 5, 6, 7, 8);
  }
  const std::string companion = readBytes(temp.file(kDoubleExposureLogFileName));
  RawLog next(kRawLogFileName, kDoubleExposureLogFileName);
  next.open(temp.folder());
  EXPECT_EQ(readBytes(temp.file("DoubleExposureMeasurements-20261206-010203.csv")), companion);
  EXPECT_FALSE(std::filesystem::exists(temp.file(kDoubleExposureLogFileName)));
  EXPECT_TRUE(std::filesystem::exists(temp.file("RawStarMeasurements-20261206-010203.csv")));
}

#ifdef __linux__
// A file without rows is kept under its modification time.
TEST(RawLogArchive, AFileWithoutRowsIsKeptUnderItsModificationTime) {
  TempFolder temp;
  RawLog log;
  log.open(temp.folder());
  log.close();
  const std::time_t modified = 1796681645;
  const timespec times[2] = {{modified, 0}, {modified, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, temp.file(kRawLogFileName).c_str(), times, 0), 0);
  log.open(temp.folder());
  log.close();
  EXPECT_EQ(readBytes(temp.file("RawStarMeasurements-" + logStamp(localTimeOf(modified)) + ".csv")),
            kHeaderLine + "\r\n");
}

// A name already taken is never overwritten: the next free copy number is used.
TEST(RawLogArchive, NeverOverwritesAnExistingArchive) {
  TempFolder temp;
  testing::writeBytes(temp.file("RawStarMeasurements-20261206-010203.csv"), "kept 1");
  testing::writeBytes(temp.file("RawStarMeasurements-20261206-010203-2.csv"), "kept 2");
  const std::string previous = kHeaderLine + "\r\n#2026-12-06 01:02:03#,1,1,2,3,4\r\n";
  testing::writeBytes(temp.file(kRawLogFileName), previous);
  RawLog log;
  log.open(temp.folder());
  log.close();
  EXPECT_EQ(readBytes(temp.file("RawStarMeasurements-20261206-010203.csv")), "kept 1");
  EXPECT_EQ(readBytes(temp.file("RawStarMeasurements-20261206-010203-2.csv")), "kept 2");
  EXPECT_EQ(readBytes(temp.file("RawStarMeasurements-20261206-010203-3.csv")), previous);
}

// The log is never written through a symbolic link: the link is moved aside
// like an old log, its target stays as it was, and a new file is created.
TEST(RawLogArchive, ALinkIsMovedAsideAndItsTargetLeftIntact) {
  TempFolder temp;
  const std::string target = temp.file("precious.dat");
  testing::writeBytes(target, "precious");
  std::filesystem::create_symlink(target, temp.file(kRawLogFileName));
  RawLog log;
  EXPECT_NE(log.open(temp.folder())
                .value_or(Notice{})
                .text.find("the link was moved aside as RawStarMeasurements-"),
            std::string::npos);
  log.writeRow(localTime(2026, 12, 6, 1, 2, 3), 1, 1, 2, 3, 4);
  log.close();
  EXPECT_EQ(readBytes(target), "precious");
  EXPECT_FALSE(std::filesystem::is_symlink(temp.file(kRawLogFileName)));
  EXPECT_EQ(readBytes(temp.file(kRawLogFileName)).rfind(kHeaderLine, 0), 0u);
  int links = 0;
  for (const auto& entry : std::filesystem::directory_iterator(temp.path())) {
    if (!entry.is_symlink()) continue;
    ++links;
    EXPECT_EQ(entry.path().filename().string().rfind("RawStarMeasurements-", 0), 0u) << entry.path();
    EXPECT_EQ(std::filesystem::read_symlink(entry.path()), target);
  }
  EXPECT_EQ(links, 1);
}
#endif

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
// A file size limit refuses bytes as a full disk does, part of a row
// included: the row is left out whole, the log stays open, and once there is
// room the next row (after the header, if that did not fit either) is whole.
TEST(RawLogFile, ARowThatDoesNotFitIsLeftOutWholeAndTheNextIsTried) {
  const std::string row1 = rawLogRow(localTime(2026, 1, 1, 1, 1, 1), 1, 1, 1, 1, 1) + "\r\n";
  const std::string row2 = rawLogRow(localTime(2026, 1, 1, 1, 1, 2), 2, 2, 2, 2, 2) + "\r\n";
  const std::string header = kHeaderLine + "\r\n";
  const struct {
    std::size_t room;       // bytes the file may hold while the disk is full
    std::string whileFull;  // what it holds then
  } cases[] = {
      {header.size() + row1.size() / 2, header},
      {header.size(), header},
      {header.size() / 2, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.room);
    TempFolder temp;
    RawLog log;
    {
      const testing::FileSizeLimit full(c.room);
      log.open(temp.folder());
      try {
        log.writeRow(localTime(2026, 1, 1, 1, 1, 1), 1, 1, 1, 1, 1);
        ADD_FAILURE() << "the row cannot be written";
      } catch (const RawLogError& error) {
        EXPECT_NE(std::string(error.what()).find(kRawLogFileName), std::string::npos) << error.what();
      }
      EXPECT_EQ(readBytes(temp.file(kRawLogFileName)), c.whileFull);
    }
    ASSERT_TRUE(log.isOpen());
    log.writeRow(localTime(2026, 1, 1, 1, 1, 2), 2, 2, 2, 2, 2);
    EXPECT_EQ(readBytes(temp.file(kRawLogFileName)), header + row2);
  }
}
#endif

// Both logs are written in append mode: a file emptied in place (logrotate's
// copytruncate) gets its header again before the next row, and what another
// writer appended in between stays.
TEST(LogRotation, AnEmptiedLogGetsItsHeaderAgainAndNoWriteOverwritesAnother) {
  TempFolder temp;
  RawLog raw;
  ReadingsLog readings;
  raw.open(temp.folder());
  readings.open(temp.folder());
  const std::tm time = localTime(2026, 12, 7, 23, 0, 0);
  for (const bool emptied : {true, false}) {
    for (const char* name : {kRawLogFileName, kReadingsLogFileName}) {
      if (emptied) std::filesystem::resize_file(temp.file(name), 0);
      if (!emptied) std::ofstream(temp.file(name), std::ios::binary | std::ios::app) << "another\r\n";
    }
    raw.writeRow(time, 1, 1, 2, 3, 4);
    readings.write(Reading{});
  }
  const std::string rawRow = rawLogRow(time, 1, 1, 2, 3, 4) + "\r\n";
  const std::string row = readingsLogRow(Reading{}) + "\r\n";
  EXPECT_EQ(readBytes(temp.file(kRawLogFileName)), kHeaderLine + "\r\n" + rawRow + "another\r\n" + rawRow);
  EXPECT_EQ(readBytes(temp.file(kReadingsLogFileName)),
            std::string(kReadingsLogHeader) + "\r\n" + row + "another\r\n" + row);
}

}  // namespace
}  // namespace nebulor
