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

void RawLog::open(const std::string& folder) {
  if (file_) throw RawLogError("The raw measurement log is already open.");
  makeRoomForLog(folder, fileName_);
  path_ = folder + fileName_;
  file_ = createLogFile(path_);
  append(kHeader);
}

void RawLog::writeRow(const std::tm& localTime, double airmass, float x1, float y1, float x2, float y2) {
  if (!file_) throw RawLogError("The raw measurement log is not open.");
  append(rawLogRow(localTime, airmass, x1, y1, x2, y2) + "\r\n");
}

void RawLog::close() {
  if (!file_) return;
  std::fclose(file_);  // every line was flushed when written: nothing is left to lose here
  file_ = nullptr;
}

bool RawLog::isOpen() const { return file_ != nullptr; }

// Each line reaches the operating system at once, so a crash of the program
// loses nothing already logged. A failed write closes the log: the run that
// owns it ends, and nothing can be appended behind a partial line.
void RawLog::append(const std::string& line) {
  if (writeText(file_, line)) return;
  const std::string reason = systemErrorText(errno);
  close();
  throw RawLogError("Cannot write " + path_ + ": " + reason);
}

}  // namespace nebulor
