#include "measure/RawLog.h"

#include <cerrno>

#include "core/AppPaths.h"
#include "core/NumberText.h"

namespace nebulor {

namespace {

constexpr const char* kHeader = "\"Local Time\",\"Airmass\",\"X1\",\"Y1\",\"X2\",\"Y2\"\r\n";

// #yyyy-mm-dd hh:mm:ss#, or #yyyy-mm-dd# at exactly midnight.
std::string timeField(const std::tm& time) {
  char buffer[48];
  if (time.tm_hour == 0 && time.tm_min == 0 && time.tm_sec == 0) {
    std::snprintf(buffer, sizeof buffer, "#%04d-%02d-%02d#", time.tm_year + 1900, time.tm_mon + 1,
                  time.tm_mday);
  } else {
    std::snprintf(buffer, sizeof buffer, "#%04d-%02d-%02d %02d:%02d:%02d#", time.tm_year + 1900,
                  time.tm_mon + 1, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec);
  }
  return buffer;
}

}  // namespace

std::string rawLogRow(const std::tm& localTime, double airmass, float x1, float y1, float x2, float y2) {
  return timeField(localTime) + ',' + doubleText(airmass) + ',' + singleText(x1) + ',' + singleText(y1) +
         ',' + singleText(x2) + ',' + singleText(y2);
}

RawLog::~RawLog() { close(); }

std::optional<Notice> RawLog::open(const std::string& folder) {
  if (file_) throw RawLogError("The raw measurement log is already open.");
  const bool link = logPathKind(folder + fileName_) == LogPathKind::link;
  moveCompanionAside(folder);
  const std::optional<std::string> aside = makeRoomForLog(folder, fileName_);
  path_ = folder + fileName_;
  file_ = createLogFile(path_);
  // A header that does not fit (a full disk) comes before the first row that does.
  appendWhole(file_, kHeader);
  if (!link || !aside) return std::nullopt;
  return Notice{linkMovedAside(fileName_, *aside, "raw log")};
}

void RawLog::moveCompanionAside(const std::string& folder) const {
  if (companion_.empty() || logPathKind(folder + companion_) != LogPathKind::file) return;
  const std::string own = folder + fileName_;
  moveLogAside(folder, companion_,
               asideStamp(logPathKind(own) == LogPathKind::file ? own : folder + companion_));
}

void RawLog::writeRow(const std::tm& localTime, double airmass, float x1, float y1, float x2, float y2) {
  if (!file_) throw RawLogError("The raw measurement log is not open.");
  if (emptiedInPlace(file_)) append(kHeader);
  append(rawLogRow(localTime, airmass, x1, y1, x2, y2) + "\r\n");
}

void RawLog::close() {
  if (!file_) return;
  std::fclose(file_);  // every line was flushed when written: nothing is left to lose here
  file_ = nullptr;
}

bool RawLog::isOpen() const { return file_ != nullptr; }

// Each line reaches the operating system at once, so a crash of the program
// loses nothing already logged. A line that cannot be written (a full disk)
// leaves the file as it was and the log open, so the next row tries again.
void RawLog::append(const std::string& line) {
  if (appendWhole(file_, line)) return;
  throw RawLogError("Cannot write " + path_ + ": " + systemErrorText(errno));
}

}  // namespace nebulor
