#pragma once

#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

#include "core/Notice.h"
#include "measure/LogFile.h"

namespace nebulor {

inline constexpr const char* kReadingsLogFileName = "SeeingReadings.csv";

// The columns of the readings log, in order. Readers find a column by its
// name: later versions add columns at the end only, so a reader written for
// these keeps working.
inline constexpr const char* kReadingsLogHeader =
    "local_time,airmass,seeing_arcsec,r0_cm,long_sigma_px,trans_sigma_px,exposures_used,exposures_rejected,"
    "seeing_error_arcsec,best_arcsec,best_error_arcsec,best_exposure_s";

// One reduced reading as the log keeps it.
struct ReadingRecord {
  std::time_t time = 0;               // when the reading was reduced
  double airmass = 1;                 // mean of its accepted exposures
  float seeing = 0;                   // arcsec, the history's value
  double r0 = 0;                      // cm
  double longStdDev = 0;              // pixels
  double transStdDev = 0;             // pixels
  int exposuresUsed = 0;              // N
  int exposuresRejected = 0;          // rejected while the reading was taken
  std::optional<double> seeingError;  // arcsec, 1 sigma; empty field when unknown
  std::optional<double> best;         // arcsec, Nebulor's best estimate of the same seeing
  std::optional<double> bestError;    // arcsec, its 1 sigma
  std::optional<float> bestExposure;  // s, the exposure time it refers to; 0: extrapolated to none
};

// Local time with its offset from UTC, ISO 8601: 2026-12-07T23:14:05+01:00.
std::string isoLocalTime(std::time_t time);

// One row, without its CR LF; numbers with a full stop whatever the locale.
std::string readingsLogRow(const ReadingRecord& reading);

// The night's readings, SeeingReadings.csv beside the raw log: one row per
// reduced reading, appended across runs and restarts (never emptied), each
// row flushed as it is written, the header written once when the file is
// created. Opening repairs a torn last line (a crash in mid-row) with a line
// end, so every complete row stays readable. A file at that name that is not
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
  void write(const ReadingRecord& reading);
  void close();
  bool isOpen() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }

 private:
  std::optional<Notice> openAt(const std::string& folder, const std::string& fileName);
  void startNew(const std::string& path);
  void append(const std::string& line);

  std::FILE* file_ = nullptr;
  std::string path_;
  std::string divertedName_;  // the dated log that stands in for a foreign file this session
};

}  // namespace nebulor
