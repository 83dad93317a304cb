#pragma once

#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "core/Notice.h"
#include "core/Reading.h"
#include "measure/LogFile.h"

namespace nebulor {

inline constexpr const char* kReadingsLogFileName = "SeeingReadings.csv";

// The columns of the readings log, in order. Readers find a column by its
// name: later versions add columns at the end only, so a reader written for
// these keeps working.
inline constexpr const char* kReadingsLogHeader =
    "local_time,airmass,seeing_arcsec,r0_cm,long_sigma_px,trans_sigma_px,exposures_used,exposures_rejected,"
    "seeing_error_arcsec,best_arcsec,best_error_arcsec,best_exposure_s,wavelength_um,"
    "tau0_ms,tau0_error_ms,wind_ms,wind_error_ms";

// Whether a file name is one of the readings logs a folder may hold:
// SeeingReadings.csv; SeeingReadings-YYYYMMDD-HHMMSS.csv with -2, -3, ...
// when that was taken (a log moved aside, or a session's log beside an
// unusable one); or a log moved away by logrotate, SeeingReadings.csv.1 or
// SeeingReadings.csv-20261207 (compressed ones end otherwise).
bool isReadingsLogName(std::string_view name);

// Days from 1970-01-01 of a calendar date (proleptic Gregorian).
long daysFromCivil(long year, int month, int day);

// Seconds east of UTC of the local time at a moment.
int utcOffsetAt(std::time_t time);

// A moment in the local time of a UTC offset, ISO 8601: 2026-12-07T23:14:05+01:00.
std::string isoLocalTime(std::time_t time, int utcOffset);
// ... in this machine's local time.
std::string isoLocalTime(std::time_t time);

// One row, without its CR LF; numbers with a full stop whatever the locale.
std::string readingsLogRow(const Reading& reading);

// The night's readings, SeeingReadings.csv beside the raw log: one row per
// reduced reading, appended across runs and restarts (never emptied), each
// row flushed as it is written, the header written once when the file is
// created, and again before the next row when the file was emptied in place
// (a log rotation's copytruncate). Opening repairs a torn last line (a crash
// in mid-row) with a line end, and a header torn in its first bytes (power
// lost as the log was created) with the rest of it, so every complete row
// stays readable; a file that begins with NUL bytes (emptied in place while
// a writer without append mode went on) is moved aside. A file at that name
// that cannot be written (read-only, a folder) or that is not
// a readings log is never written to: it is kept, and the readings go to a
// new SeeingReadings-YYYYMMDD-HHMMSS.csv for the rest of the session. A log
// with other columns (another Nebulor version) and a symbolic link are
// moved aside under a dated name and a new log begins. Failures throw
// LogFileError; a failed write closes the log.
class ReadingsLog {
 public:
  ReadingsLog() = default;
  ReadingsLog(const ReadingsLog&) = delete;
  ReadingsLog& operator=(const ReadingsLog&) = delete;
  ~ReadingsLog();

  // Opens for appending. Returns a message for the user when the readings
  // do not go where they went before (a file kept or moved aside).
  std::optional<Notice> open(const std::string& folder);
  void write(const Reading& reading);
  void close();
  bool isOpen() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }

 private:
  std::optional<Notice> openAt(const std::string& folder, const std::string& fileName);
  std::optional<Notice> divert(const std::string& folder, const std::string& why);
  void startNew(const std::string& path);
  void append(const std::string& line);

  std::FILE* file_ = nullptr;
  std::string path_;
  std::string divertedName_;  // the dated log that stands in for an unusable name this session
};

}  // namespace nebulor
