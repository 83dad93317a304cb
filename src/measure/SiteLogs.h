#pragma once

#include <deque>
#include <string>
#include <vector>

#include "measure/ReadingsReader.h"

namespace nebulor {

// The readings of a site's logs: the files named, and every readings log
// in the folders named. Each file is read once, however often it is named
// (a folder and a file in it, a link to a log beside it). A log's rows are
// never copied into another log (logs are moved aside whole and a session
// writes to one log), so rows are not compared across files.
class SiteLogs {
 public:
  explicit SiteLogs(const std::vector<std::string>& places);

  // Every reading of every log, in no particular order.
  std::vector<const Reading*> readings() const;
  // The logs whose readings count.
  const std::vector<std::string>& logs() const { return logs_; }
  // One line per place or log that cost readings, and why: the rest is used.
  const std::vector<std::string>& notes() const { return notes_; }

 private:
  void readPlace(const std::string& place);
  void readLog(const std::string& path);

  std::deque<ReadingsReader> readers_;
  std::vector<std::string> logs_;
  std::vector<std::string> seen_;  // canonical paths read
  std::vector<std::string> notes_;
};

}  // namespace nebulor
