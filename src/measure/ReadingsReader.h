#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Failure.h"

namespace nebulor {

// One row of SeeingReadings.csv as the night's chart and summary use it.
struct LoggedReading {
  std::time_t time = 0;             // the moment, seconds since 1970 UTC
  int utcOffset = 0;                // seconds east of UTC of the row's local time
  double airmass = 0;               // 0 when the log has no airmass column
  double seeing = 0;                // arcsec, the classical value
  std::optional<double> best;       // arcsec, Nebulor's best estimate
  std::optional<double> bestError;  // arcsec, its 1 sigma
  std::optional<double> r0;         // cm, at the configured wavelength
  std::optional<double> tau0;       // ms, the coherence time, in logs that have it
  int exposuresUsed = 0;
  int exposuresRejected = 0;
};

// Reads a readings log: columns by their header names, so logs of later
// versions with more columns read the same. A row that cannot be read is
// skipped and counted by kind of problem; the rest stays usable. Reading
// can go on as the log grows: each call takes only what was appended since.
class ReadingsReader {
 public:
  // Takes the next bytes of the file; a last line without its line end
  // waits for the rest, until finish().
  void feed(std::string_view bytes);
  // The end of the file: a last line without its line end is read as it is.
  void finish();

  // Reads what the file holds beyond what was read before; a file that is
  // now shorter (a new log began) is read from its start. A failure when
  // the file cannot be read.
  std::optional<Failure> readNew(const std::string& path);

  const std::vector<LoggedReading>& readings() const { return readings_; }
  // Hands over the readings read so far, so a reader that follows a log for
  // months keeps none; failure() then no longer knows whether any was read.
  std::vector<LoggedReading> takeReadings() { return std::exchange(readings_, {}); }
  // Whether the header names the coherence time's column.
  bool hasTau0() const { return columns_ && columns_->tau0 >= 0; }
  // One line per kind of problem met, with how many rows it cost.
  std::vector<std::string> notes() const;
  // Why nothing could be read, when nothing could.
  std::optional<Failure> failure() const;

 private:
  void readLine(std::string_view line);
  void readRow(const std::vector<std::string_view>& fields);

  struct Columns {
    int count = 0;
    int time = -1, airmass = -1, seeing = -1, best = -1, bestError = -1, r0 = -1, tau0 = -1, used = -1,
        rejected = -1;
  };
  std::optional<Columns> columns_;  // none before the header line
  std::string pending_;             // a line still waiting for its end
  std::uintmax_t offset_ = 0;       // bytes of the file read so far
  std::vector<LoggedReading> readings_;
  int cutShort_ = 0;
  int badValues_ = 0;
  int extraFields_ = 0;
};

}  // namespace nebulor
