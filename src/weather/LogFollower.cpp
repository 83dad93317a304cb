#include "weather/LogFollower.h"

#include <filesystem>
#include <string_view>

#include "config/ConfigFile.h"
#include "core/AppPaths.h"
#include "measure/ReadingsLog.h"

namespace nebulor {

std::optional<std::string> LogFollower::newestLog() {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::directory_iterator entries(utf8Path(folder_), error);
  if (error) {
    problems_.push_back("Cannot read the data folder " + folder_ + ": " + error.message());
    return std::nullopt;
  }
  std::optional<std::string> newest;
  fs::file_time_type newestTime;
  for (const fs::directory_entry& entry : entries) {
    const std::string name = entry.path().filename().string();
    // Regular files only: opening a FIFO would wait for a writer.
    if (!isReadingsLogName(name) || !entry.is_regular_file(error)) continue;
    const fs::file_time_type written = entry.last_write_time(error);
    const std::string path = entry.path().string();
    if (error) continue;
    if (!newest || written > newestTime || (written == newestTime && path == path_)) {
      newest = path;
      newestTime = written;
    }
  }
  if (!newest) problems_.push_back("No readings log in " + folder_ + " yet");
  return newest;
}

double LogFollower::configuredWavelength() {
  Config config;
  configWarnings_ = LoadConfig(config, withTrailingSeparator(folder_));
  return config.wavelength;
}

std::vector<std::string> LogFollower::problems() const {
  std::vector<std::string> all = problems_;
  all.insert(all.end(), configWarnings_.begin(), configWarnings_.end());
  return all;
}

bool LogFollower::poll() {
  problems_.clear();
  const std::optional<std::string> newest = newestLog();
  if (!newest) return false;
  if (*newest != path_) {
    path_ = *newest;
    reader_ = ReadingsReader();
    readAny_ = false;
  }
  if (const std::optional<Failure> failure = reader_.readNew(path_)) {
    problems_.push_back(failure->reason);
    return false;
  }
  for (const std::string& note : reader_.notes()) problems_.push_back(path_ + ": " + note);
  const std::vector<Reading> readings = reader_.takeReadings();
  if (readings.empty()) {
    if (!readAny_) {
      if (const std::optional<Failure> failure = reader_.failure())
        problems_.push_back(path_ + ": " + failure->reason);
    }
    return false;
  }
  readAny_ = true;
  latest_ = readings.back();
  if (latest_->wavelength) {
    configWarnings_.clear();  // config.ini is not read for it
  } else {
    latest_->wavelength = configuredWavelength();
  }
  return true;
}

}  // namespace nebulor
