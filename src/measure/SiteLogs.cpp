#include "measure/SiteLogs.h"

#include <algorithm>
#include <filesystem>
#include <string_view>

#include "core/AppPaths.h"
#include "measure/ReadingsLog.h"

namespace nebulor {

SiteLogs::SiteLogs(const std::vector<std::string>& places) {
  for (const std::string& place : places) readPlace(place);
}

void SiteLogs::readPlace(const std::string& place) {
  std::error_code error;
  const std::filesystem::path path = utf8Path(place);
  if (!std::filesystem::is_directory(path, error)) {
    readLog(place);
    return;
  }
  std::vector<std::string> names;
  // Stepped with an error code: a folder that fails half-way is a note, never an exception.
  for (std::filesystem::directory_iterator entry(path, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (isReadingsLogName(name)) names.push_back(name);
  }
  if (error) {
    notes_.push_back("Cannot read the folder " + place + ": " + error.message());
    return;
  }
  if (names.empty()) notes_.push_back(place + " holds no readings log");
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) readLog(withTrailingSeparator(place) + name);
}

void SiteLogs::readLog(const std::string& path) {
  std::error_code error;
  const std::filesystem::path file = utf8Path(path);
  if (!std::filesystem::exists(file, error)) {
    notes_.push_back("Cannot read " + path + ": there is no such file or folder");
    return;
  }
  if (!std::filesystem::is_regular_file(file, error)) {
    notes_.push_back(path + " is not a file; it was skipped");  // a FIFO would never end
    return;
  }
  const std::string identity = std::filesystem::weakly_canonical(file, error).string();
  if (std::find(seen_.begin(), seen_.end(), identity) != seen_.end()) return;
  seen_.push_back(identity);
  ReadingsReader& reader = readers_.emplace_back();
  if (const std::optional<Failure> failure = reader.readNew(path)) {
    notes_.push_back(failure->reason);
    readers_.pop_back();
    return;
  }
  reader.finish();
  for (const std::string& note : reader.notes()) notes_.push_back(path + ": " + note);
  if (const std::optional<Failure> failure = reader.failure()) {
    notes_.push_back(path + " was skipped: " + failure->reason);
    readers_.pop_back();
    return;
  }
  logs_.push_back(path);
}

std::vector<const Reading*> SiteLogs::readings() const {
  std::vector<const Reading*> all;
  for (const ReadingsReader& reader : readers_) {
    for (const Reading& reading : reader.readings()) all.push_back(&reading);
  }
  return all;
}

}  // namespace nebulor
