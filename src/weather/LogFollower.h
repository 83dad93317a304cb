#pragma once

#include <optional>
#include <string>
#include <vector>

#include "measure/ReadingsReader.h"

namespace nebulor {

// Follows the newest readings log of a data folder: SeeingReadings.csv, a
// dated SeeingReadings-YYYYMMDD-HHMMSS.csv that stands in for it, or one
// that logrotate moved away (SeeingReadings.csv.1, SeeingReadings.csv-DATE),
// where Nebulor goes on writing until its next run. "Newest" is the last
// written, so the follower moves with the writer; a file that grows is read
// on from where it was, one emptied in place from its start. The wavelength
// for the conversion to 500 nm is the row's; a log from before the log had
// that column takes config.ini's of the same folder instead, read again with
// every new reading.
class LogFollower {
 public:
  explicit LogFollower(std::string folder) : folder_(std::move(folder)) {}

  // Reads what was written since the last call; true when a new reading came.
  bool poll();

  // The latest reading, its wavelength always set.
  const std::optional<Reading>& latest() const { return latest_; }
  // Whether the followed log has a coherence-time column.
  bool hasTau0() const { return reader_.hasTau0(); }
  // The log followed; empty while there is none.
  const std::string& path() const { return path_; }
  // What is wrong (folder missing, a foreign file, torn rows, config.ini),
  // one line each.
  std::vector<std::string> problems() const;

 private:
  std::optional<std::string> newestLog();
  double configuredWavelength();

  std::string folder_;
  std::string path_;
  ReadingsReader reader_;
  bool readAny_ = false;  // a reading came from path_
  std::optional<Reading> latest_;
  std::vector<std::string> problems_;        // of the last poll
  std::vector<std::string> configWarnings_;  // of the last config.ini read
};

}  // namespace nebulor
