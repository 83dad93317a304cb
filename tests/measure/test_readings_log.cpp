#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <locale>
#include <random>
#include <regex>
#include <string>

#include "../support/TempFolder.h"
#include "measure/ReadingsLog.h"
#include "measure/ReadingsReader.h"
#include "measure/SeeingReduction.h"
#include "measure/TonightsReadings.h"

namespace nebulor {
namespace {

using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

const std::string kHeaderLine = std::string(kReadingsLogHeader) + "\r\n";

// 2026-12-07 22:14:05 UTC.
constexpr std::time_t kMoment = 1796681645;

// Runs with the given time zone, then puts the previous one back.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (old_.empty()) {
      unsetenv("TZ");
    } else {
      setenv("TZ", old_.c_str(), 1);
    }
    tzset();
  }

 private:
  std::string old_;
};

Reading reading(float seeing) {
  Reading r;
  r.time = WallClock::from_time_t(kMoment);
  r.utcOffset = utcOffsetAt(kMoment);
  r.airmass = 1.25;
  r.seeing = seeing;
  r.r0 = 11.5;
  r.longStdDev = 0.5;
  r.transStdDev = 0.375;
  r.exposuresUsed = 20;
  r.exposuresRejected = 3;
  r.seeingError = seeingError(seeing, 20);
  r.wavelength = 0.55;
  return r;
}

// ---- the row ------------------------------------------------------------------

TEST(ReadingsLogRow, LocalTimeCarriesItsOffsetFromUtc) {
  const struct {
    const char* zone;
    const char* text;
  } cases[] = {
      {"UTC0", "2026-12-07T22:14:05+00:00"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", "2026-12-07T23:14:05+01:00"},
      {"<-0330>3:30", "2026-12-07T18:44:05-03:30"},
      {"<+1345>-13:45", "2026-12-08T11:59:05+13:45"},  // past midnight: the local date moves on
  };
  for (const auto& c : cases) {
    TimeZone zone(c.zone);
    EXPECT_EQ(isoLocalTime(kMoment), c.text) << c.zone;
  }
}

// The README's sample row, and full stops whatever the locale says.
TEST(ReadingsLogRow, NumbersUseAFullStopWhateverTheLocale) {
  TimeZone zone("CET-1");
  struct Comma : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
  };
  const std::locale before = std::locale::global(std::locale(std::locale::classic(), new Comma));
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) break;  // where the system has one
  }
  const std::string row = readingsLogRow(reading(1.87941f));
  std::setlocale(LC_ALL, "C");
  std::locale::global(before);
  const std::string fixedPart = "2026-12-07T23:14:05+01:00,1.25,1.87941,11.5,0.5,0.375,20,3,";
  ASSERT_EQ(row.substr(0, fixedPart.size()), fixedPart);
  EXPECT_NEAR(std::stod(row.substr(fixedPart.size())), 0.6 * 1.87941 / std::sqrt(19.0), 1e-7);
  Reading unknown = reading(1.87941f);
  unknown.seeingError.reset();
  EXPECT_EQ(readingsLogRow(unknown), fixedPart + ",,,,0.55,,,,") << "unknown values leave their fields empty";
}

// What the log writes its reader reads back, to the precision the row prints.
TEST(ReadingsLogRow, ReadsBackAsWritten) {
  Reading full = reading(1.87941f);
  full.time += std::chrono::milliseconds(700);  // the log keeps whole seconds
  full.utcOffset = 3600;
  full.best = 1.2345678901234567;
  full.bestError = 0.1875;
  full.bestExposure = 0.01f;
  Reading unknown = reading(0.61f);
  unknown.utcOffset = -12600;
  unknown.r0.reset();
  unknown.seeingError.reset();
  unknown.wavelength.reset();
  Reading corrected = full;
  corrected.tau0 = 3.14159;
  corrected.tau0Error = 0.4;
  corrected.wind = 12.5;
  corrected.windError = 1.25;
  corrected.utcOffset = 49500;
  corrected.bestExposure = 0.0f;
  for (const Reading& written : {full, unknown, corrected}) {
    const std::string row = readingsLogRow(written);
    SCOPED_TRACE(row);
    ReadingsReader reader;
    reader.feed(kHeaderLine + row + "\r\n");
    ASSERT_EQ(reader.readings().size(), 1u);
    const Reading& read = reader.readings().front();
    EXPECT_EQ(readingsLogRow(read), row);
    EXPECT_EQ(read.seconds(), kMoment);
    EXPECT_EQ(read.utcOffset, written.utcOffset);
    EXPECT_EQ(read.r0.has_value(), written.r0.has_value());
    EXPECT_EQ(read.bestExposure, written.bestExposure);
    EXPECT_EQ(read.wavelength, written.wavelength);
  }
}

// The feed begins with tonight's readings of the log, whatever version wrote
// it; a log that cannot serve says why and seeds nothing of what it lacks.
TEST(TonightsReadings, SeedTheFeedWithTonightsRowsOfTheLog) {
  TimeZone zone("UTC0");
  const auto rowAt = [](std::time_t time) {
    Reading r = reading(1.5f);
    r.time = WallClock::from_time_t(time);
    return readingsLogRow(r) + "\r\n";
  };
  const std::string night = rowAt(kMoment - 86400) + rowAt(kMoment - 3600) + rowAt(kMoment - 60);
  const auto older = [](const std::string& text) {  // as a version before the wavelength column wrote it
    return std::regex_replace(text, std::regex("(,[^,\r]*){5}\r\n"), "\r\n");
  };
  const struct {
    std::optional<std::string> log;  // none: no log yet
    std::size_t seeded;
    double wavelength;
    std::size_t notes;
  } cases[] = {{kHeaderLine + night, 2, 0.55, 0},
               {older(kHeaderLine + night), 2, 0.65, 0},
               {kHeaderLine + night + "2026-12-07T2", 2, 0.55, 1},
               {"date,temperature\r\n1,2\r\n", 0, 0, 1},
               {std::nullopt, 0, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.log.value_or("no log"));
    TempFolder temp;
    if (c.log) writeBytes(temp.file(kReadingsLogFileName), *c.log);
    ReadingsFeed feed;
    EXPECT_EQ(seedWithTonight(feed, temp.folder(), 0.65, WallClock::from_time_t(kMoment)).size(), c.notes);
    const std::vector<Reading> seeded = feed.snapshot().readings;
    ASSERT_EQ(seeded.size(), c.seeded);
    for (const Reading& r : seeded) EXPECT_EQ(r.wavelength, c.wavelength);
  }
}

// The error formula against a simulation of the estimator itself: Gaussian
// motion in both directions, deviations about the reading's own mean, the
// seeing as the mean of the 3/5 powers of the two variances.
TEST(SeeingError, MatchesTheScatterOfSimulatedReadings) {
  std::mt19937 random(20261207);
  std::normal_distribution<double> motion(0, 1);
  for (const int n : {10, 20, 50}) {
    double sum = 0;
    double squares = 0;
    constexpr int kReadings = 20000;
    for (int k = 0; k < kReadings; ++k) {
      double seeing = 0;
      for (int direction = 0; direction < 2; ++direction) {
        std::vector<double> d(n);
        double mean = 0;
        for (double& v : d) mean += (v = motion(random)) / n;
        double variance = 0;
        for (const double v : d) variance += (v - mean) * (v - mean) / n;
        seeing += std::pow(variance, 0.6) / 2;
      }
      sum += seeing;
      squares += seeing * seeing;
    }
    const double mean = sum / kReadings;
    const double scatter = std::sqrt(squares / kReadings - mean * mean) / mean;
    EXPECT_NEAR(*seeingError(1, n), scatter, 0.06 * scatter) << n << " exposures";
  }
  EXPECT_FALSE(seeingError(1, 1).has_value());
}

// ---- the file -----------------------------------------------------------------

TEST(ReadingsLogFile, CreatedWithItsHeaderThenAppendedAcrossRunsEachRowAtOnce) {
  TempFolder temp;
  const std::string path = temp.file(kReadingsLogFileName);
  std::string expected = kHeaderLine;
  for (int run = 0; run < 2; ++run) {
    ReadingsLog log;
    EXPECT_EQ(log.open(temp.folder()), std::nullopt);
    for (int i = 0; i < 2; ++i) {
      const Reading r = reading(1.5f + run + i * 0.25f);
      log.write(r);
      expected += readingsLogRow(r) + "\r\n";
      EXPECT_EQ(readBytes(path), expected) << "another reader sees the row before the run ends";
    }
  }
}

TEST(ReadingsLogFile, ATornLastLineGetsItsLineEndBeforeTheNextRow) {
  TempFolder temp;
  const std::string path = temp.file(kReadingsLogFileName);
  const std::string complete = readingsLogRow(reading(1.5f)) + "\r\n";
  const std::string torn = "2026-12-07T23:14:05+01:00,1.2";
  writeBytes(path, kHeaderLine + complete + torn);
  ReadingsLog log;
  EXPECT_EQ(log.open(temp.folder()), std::nullopt);
  log.write(reading(2));
  EXPECT_EQ(readBytes(path), kHeaderLine + complete + torn + "\r\n" + readingsLogRow(reading(2)) + "\r\n");
}

// What a crash, a power cut or a log rotation left at the start or end of
// the log is completed, so the file stays Nebulor's and no blank line appears.
TEST(ReadingsLogFile, ADamagedLogIsCompletedOrMovedAsideNeverTakenAsForeign) {
  const std::string row = readingsLogRow(reading(1.5f)) + "\r\n";
  const std::string next = readingsLogRow(reading(2)) + "\r\n";
  const struct {
    const char* name;
    std::string before;
    std::string after;  // of SeeingReadings.csv, once a row was written
    bool notice;
  } cases[] = {
      {"header torn in its first bytes", "local_ti", kHeaderLine + next, false},
      {"row torn after its CR", kHeaderLine + row.substr(0, row.size() - 1), kHeaderLine + row + next, false},
      {"NUL bytes where the header was", std::string(3066, '\0') + row, kHeaderLine + next, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder temp;
    writeBytes(temp.file(kReadingsLogFileName), c.before);
    ReadingsLog log;
    EXPECT_EQ(log.open(temp.folder()).has_value(), c.notice);
    log.write(reading(2));
    EXPECT_EQ(readBytes(temp.file(kReadingsLogFileName)), c.after);
  }
}

// A file that is no readings log is never written: it stays as it is and
// the session's readings go to one dated log, with a message.
TEST(ReadingsLogFile, AForeignFileIsKeptAndTheReadingsGoToADatedLog) {
  TempFolder temp;
  const std::string foreign = "date,fwhm\r\n2026-12-01,1.1\r\n";
  writeBytes(temp.file(kReadingsLogFileName), foreign);
  ReadingsLog log;
  const std::optional<Notice> notice = log.open(temp.folder());
  ASSERT_TRUE(notice.has_value());
  const std::string dated = std::filesystem::path(log.path()).filename().string();
  EXPECT_EQ(dated.rfind("SeeingReadings-", 0), 0u) << dated;
  EXPECT_EQ(dated.size(), std::string("SeeingReadings-20261207-231405.csv").size()) << dated;
  EXPECT_NE(notice->text.find(dated), std::string::npos) << notice->text;
  log.write(reading(1.5f));
  log.close();
  EXPECT_EQ(log.open(temp.folder()), std::nullopt) << "the next run goes on in the same dated log";
  EXPECT_EQ(std::filesystem::path(log.path()).filename(), dated);
  log.write(reading(1.75f));
  log.close();
  EXPECT_EQ(readBytes(temp.file(kReadingsLogFileName)), foreign);
  EXPECT_EQ(readBytes(temp.file(dated)),
            kHeaderLine + readingsLogRow(reading(1.5f)) + "\r\n" + readingsLogRow(reading(1.75f)) + "\r\n");
}

// A log with other columns, or a link, is moved aside whole and a new log begins.
TEST(ReadingsLogFile, OtherColumnsOrALinkAreMovedAsideAndANewLogBegins) {
  TempFolder temp;
  const std::string older = "local_time,airmass,seeing_arcsec,r0_cm\r\n2026-12-06T01:02:03+01:00,1,1.5,8\r\n";
  writeBytes(temp.file(kReadingsLogFileName), older);
  ReadingsLog log;
  const std::optional<Notice> notice = log.open(temp.folder());
  ASSERT_TRUE(notice.has_value());
  EXPECT_NE(notice->text.find("SeeingReadings-20261206-010203.csv"), std::string::npos) << notice->text;
  log.close();
  EXPECT_EQ(readBytes(temp.file("SeeingReadings-20261206-010203.csv")), older);
  EXPECT_EQ(readBytes(temp.file(kReadingsLogFileName)), kHeaderLine);

  const std::string target = temp.file("elsewhere.txt");
  writeBytes(target, "precious");
  std::filesystem::remove(temp.file(kReadingsLogFileName));
  std::filesystem::create_symlink(target, temp.file(kReadingsLogFileName));
  ASSERT_TRUE(log.open(temp.folder()).has_value());
  log.write(reading(1.5f));
  log.close();
  EXPECT_EQ(readBytes(target), "precious");
  EXPECT_FALSE(std::filesystem::is_symlink(temp.file(kReadingsLogFileName)));
  EXPECT_EQ(readBytes(temp.file(kReadingsLogFileName)), kHeaderLine + readingsLogRow(reading(1.5f)) + "\r\n");
}

}  // namespace
}  // namespace nebulor
