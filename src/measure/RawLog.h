#pragma once

#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <string>

namespace nebulor {

inline constexpr const char* kRawLogFileName = "RawStarMeasurements.csv";

// The raw star measurement log of one run: emptied and given its header when
// opened, one flushed row per exposure. Failures throw RawLogError with a
// readable reason; opening twice or writing while closed is such a failure,
// and leaves the file as it was. A failed write also closes the log. Closing
// a closed log does nothing.
class RawLogError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class RawLog {
 public:
  RawLog() = default;
  RawLog(const RawLog&) = delete;
  RawLog& operator=(const RawLog&) = delete;
  ~RawLog();

  void open(const std::string& folder);
  void writeRow(const std::tm& localTime, double airmass, float x1, float y1, float x2, float y2);
  void close();
  bool isOpen() const;

 private:
  void append(const std::string& line);

  std::FILE* file_ = nullptr;
  std::string path_;
};

// The text of one data row, without its CR LF: the local time as
// #yyyy-mm-dd hh:mm:ss# (only #yyyy-mm-dd# at exactly midnight), the airmass
// with up to 15 significant digits, the positions with up to 7, always '.'.
std::string rawLogRow(const std::tm& localTime, double airmass, float x1, float y1, float x2, float y2);

}  // namespace nebulor
