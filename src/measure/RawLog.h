#pragma once

#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <utility>

#include "core/Notice.h"
#include "measure/LogFile.h"

namespace nebulor {

inline constexpr const char* kRawLogFileName = "RawStarMeasurements.csv";
// The exposures of twice the measurement exposure time, when the exposure-time
// correction takes them: rows as in the raw log, under a name of their own.
inline constexpr const char* kDoubleExposureLogFileName = "DoubleExposureMeasurements.csv";

// The raw star measurement log of one run: a new file with its header when
// opened, one flushed row per exposure. The previous run's file is not
// emptied but moved aside as RawStarMeasurements-YYYYMMDD-HHMMSS.csv (the
// time of its first row), so the file always holds the latest run and no run
// is lost. Failures throw RawLogError with a readable reason; opening twice
// or writing while closed is such a failure, and leaves the file as it was.
// A row that cannot be written (a full disk) is left out whole and the log
// stays open: the next row is tried again, with the header first when the
// file still lacks it. Closing a closed log does nothing.
using RawLogError = LogFileError;

class RawLog {
 public:
  // A companion log (the 2t exposures' beside the raw log) belongs to the
  // same run: it is moved aside with this one, under the same stamp, so no
  // file of an earlier run stays beside a new log.
  explicit RawLog(std::string fileName = kRawLogFileName, std::string companion = {})
      : fileName_(std::move(fileName)), companion_(std::move(companion)) {}
  RawLog(const RawLog&) = delete;
  RawLog& operator=(const RawLog&) = delete;
  ~RawLog();

  // A message for the user when the name was a link, moved aside (a file is
  // moved aside every run, without a word).
  std::optional<Notice> open(const std::string& folder);
  void writeRow(const std::tm& localTime, double airmass, float x1, float y1, float x2, float y2);
  void close();
  bool isOpen() const;

 private:
  void append(const std::string& line);

  void moveCompanionAside(const std::string& folder) const;

  std::string fileName_;
  std::string companion_;
  std::FILE* file_ = nullptr;
  std::string path_;
};

// The text of one data row, without its CR LF: the local time as
// #yyyy-mm-dd hh:mm:ss# (only #yyyy-mm-dd# at exactly midnight), the airmass
// with up to 15 significant digits, the positions with up to 7, always '.'.
std::string rawLogRow(const std::tm& localTime, double airmass, float x1, float y1, float x2, float y2);

}  // namespace nebulor
