#pragma once

#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <string>

namespace nebulor {

inline constexpr const char* kRawLogFileName = "RawStarMeasurements.csv";

// The raw star measurement log of one run: emptied and given its header when
// opened, one flushed row per exposure. Failures throw RawLogError with a
// readable reason; opening twice or writing while closed is such a failure.
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
  std::FILE* file_ = nullptr;
};

// The text of one data row, without its CR LF.
std::string rawLogRow(const std::tm& localTime, double airmass, float x1, float y1, float x2, float y2);

}  // namespace nebulor
