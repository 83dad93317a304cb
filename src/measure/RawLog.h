#pragma once

#include <cstdio>
#include <ctime>
#include <string>
#include <utility>

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
// A failed write also closes the log. Closing a closed log does nothing.
using RawLogError = LogFileError;

class RawLog {
 public:
  explicit RawLog(std::string fileName = kRawLogFileName) : fileName_(std::move(fileName)) {}
  RawLog(const RawLog&) = delete;
  RawLog& operator=(const RawLog&) = delete;
  ~RawLog();

  void open(const std::string& folder);
  void writeRow(const std::tm& localTime, double airmass, float x1, float y1, float x2, float y2);
  void close();
  bool isOpen() const;

 private:
  void append(const std::string& line);

  std::string fileName_;
  std::FILE* file_ = nullptr;
  std::string path_;
};

// The text of one data row, without its CR LF: the local time as
// #yyyy-mm-dd hh:mm:ss# (only #yyyy-mm-dd# at exactly midnight), the airmass
// with up to 15 significant digits, the positions with up to 7, always '.'.
std::string rawLogRow(const std::tm& localTime, double airmass, float x1, float y1, float x2, float y2);

}  // namespace nebulor
