#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Failure.h"
#include "core/Reading.h"

namespace nebulor {

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

  const std::vector<Reading>& readings() const { return readings_; }
  // Hands over the readings read so far, so a reader that follows a log for
  // months keeps none; failure() then no longer knows whether any was read.
  std::vector<Reading> takeReadings() { return std::exchange(readings_, {}); }
  // Whether the header names the coherence time's column.
  bool hasTau0() const { return columns_ && columns_->tau0 >= 0; }
  // One line per kind of problem met, with how many rows it cost.
  std::vector<std::string> notes() const;
  // Whether the header names no local_time and seeing_arcsec columns.
  bool foreign() const { return columns_ && (columns_->time < 0 || columns_->seeing < 0); }
  // Why nothing could be read, when nothing could.
  std::optional<Failure> failure() const;

 private:
  void readLine(std::string_view line);
  void readRow(const std::vector<std::string_view>& fields);

  struct Columns {
    int count = 0;
    int time = -1, airmass = -1, seeing = -1, r0 = -1, longSigma = -1, transSigma = -1, used = -1,
        rejected = -1, seeingError = -1, best = -1, bestError = -1, bestExposure = -1, wavelength = -1,
        tau0 = -1, tau0Error = -1, wind = -1, windError = -1;
  };
  std::optional<Columns> columns_;  // none before the header line
  std::string pending_;             // a line still waiting for its end
  std::uintmax_t offset_ = 0;       // bytes of the file read so far
  std::vector<Reading> readings_;
  int cutShort_ = 0;
  int badValues_ = 0;
  int extraFields_ = 0;
};

}  // namespace nebulor
