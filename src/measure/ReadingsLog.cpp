#include "measure/ReadingsLog.h"

#include <cerrno>
#include <string_view>

#include "core/AppPaths.h"
#include "core/NumberText.h"

namespace nebulor {

long daysFromCivil(long year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const long yearOfEra = year - era * 400;
  const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

namespace {

constexpr std::string_view kLineEnd = "\r\n";
// The first columns, which every version of the log keeps.
constexpr std::string_view kReadingsLogIdentity = "local_time,airmass,seeing_arcsec,";
constexpr std::size_t kLongestHeader = 4096;

long secondsOf(const std::tm& time) {
  return daysFromCivil(time.tm_year + 1900L, time.tm_mon + 1, time.tm_mday) * 86400L + time.tm_hour * 3600L +
         time.tm_min * 60L + time.tm_sec;
}

std::tm utcTimeOf(std::time_t time) {
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &time);
#else
  gmtime_r(&time, &utc);
#endif
  return utc;
}

// What an existing file at the log's name holds.
struct Inspection {
  std::string firstLine;  // without its line end
  bool empty = true;
  bool endsInLineEnd = true;
  bool endsInCr = false;         // a row torn right after its CR
  bool wholeFileOneLine = true;  // no line end anywhere in what was read
};

Inspection inspect(const std::string& path) {
  std::FILE* file = openFile(path, "rb");
  if (!file) throw LogFileError("Cannot read " + path + ": " + systemErrorText(errno));
  Inspection found;
  int c = 0;
  while ((c = std::fgetc(file)) != EOF && c != '\n' && found.firstLine.size() < kLongestHeader) {
    found.firstLine += static_cast<char>(c);
  }
  found.wholeFileOneLine = c == EOF;
  if (!found.firstLine.empty() && found.firstLine.back() == '\r') found.firstLine.pop_back();
  if (std::fseek(file, -1, SEEK_END) == 0) {
    found.empty = false;
    const int last = std::fgetc(file);
    found.endsInLineEnd = last == '\n';
    found.endsInCr = last == '\r';
  }
  std::fclose(file);
  return found;
}

// The first bytes of a header, torn off as the log was created (power lost).
bool isTornHeader(const Inspection& found) {
  const std::string_view header = kReadingsLogHeader;
  return !found.empty && found.wholeFileOneLine && found.firstLine.size() < header.size() &&
         header.starts_with(found.firstLine);
}

// A file emptied in place while a writer without append mode went on at
// its old offset: the gap reads as NUL bytes, and the header is gone.
bool startsWithNul(const Inspection& found) { return !found.firstLine.empty() && found.firstLine[0] == '\0'; }

// Neither empty nor any version of the readings log.
bool isForeign(const Inspection& found) {
  return !found.empty && found.firstLine.rfind(kReadingsLogIdentity, 0) != 0 && !isTornHeader(found) &&
         !startsWithNul(found);
}

bool isForeign(const std::string& path) {
  return logPathKind(path) == LogPathKind::file && isForeign(inspect(path));
}

// Nothing at the name, or a file this process may write.
bool writable(const std::string& path) {
  const LogPathKind kind = logPathKind(path);
  if (kind != LogPathKind::file) return kind == LogPathKind::none;
  std::FILE* file = openFile(path, "ab");  // opening to append changes nothing
  if (file != nullptr) std::fclose(file);
  return file != nullptr;
}

}  // namespace

int utcOffsetAt(std::time_t time) {
  return static_cast<int>(secondsOf(localTimeOf(time)) - secondsOf(utcTimeOf(time)));
}

std::string isoLocalTime(std::time_t time, int utcOffset) {
  const std::tm local = utcTimeOf(time + utcOffset);
  const int minutes = (utcOffset < 0 ? -utcOffset : utcOffset) / 60;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                utcOffset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return buffer;
}

std::string isoLocalTime(std::time_t time) { return isoLocalTime(time, utcOffsetAt(time)); }

namespace {

// An unknown value is an empty field.
std::string optionalText(const std::optional<double>& value) { return value ? doubleText(*value) : ""; }
std::string optionalText(const std::optional<float>& value) { return value ? singleText(*value) : ""; }
// Hundredths of a millisecond and of a metre per second are finer than either is measured.
std::string hundredthsText(const std::optional<double>& value) { return value ? fixedText(*value, 2) : ""; }

}  // namespace

std::string readingsLogRow(const Reading& reading) {
  return isoLocalTime(reading.seconds(), reading.utcOffset) + ',' + doubleText(reading.airmass) + ',' +
         singleText(static_cast<float>(reading.seeing)) + ',' + optionalText(reading.r0) + ',' +
         doubleText(reading.longStdDev) + ',' + doubleText(reading.transStdDev) + ',' +
         std::to_string(reading.exposuresUsed) + ',' + std::to_string(reading.exposuresRejected) + ',' +
         optionalText(reading.seeingError) + ',' + optionalText(reading.best) + ',' +
         optionalText(reading.bestError) + ',' + optionalText(reading.bestExposure) + ',' +
         optionalText(reading.wavelength) + ',' + hundredthsText(reading.tau0) + ',' +
         hundredthsText(reading.tau0Error) + ',' + hundredthsText(reading.wind) + ',' +
         hundredthsText(reading.windError);
}

bool isReadingsLogName(std::string_view name) {
  const auto allDigits = [](std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
  };
  constexpr std::string_view kExtension = ".csv";
  const std::string_view log = kReadingsLogFileName;
  const std::string_view stem = log.substr(0, log.size() - kExtension.size());
  if (!name.starts_with(stem)) return false;
  name.remove_prefix(stem.size());
  if (name == kExtension) return true;
  if (name.starts_with(kExtension)) {  // logrotate's .csv.N or .csv-DATE
    name.remove_prefix(kExtension.size());
    return name.size() > 1 && (name[0] == '.' || name[0] == '-') && allDigits(name.substr(1));
  }
  if (!name.ends_with(kExtension)) return false;
  name.remove_suffix(kExtension.size());  // -YYYYMMDD-HHMMSS[-N]
  if (name.size() < 16 || name[0] != '-' || name[9] != '-' || !allDigits(name.substr(1, 8)) ||
      !allDigits(name.substr(10, 6))) {
    return false;
  }
  return name.size() == 16 || (name[16] == '-' && allDigits(name.substr(17)));
}

ReadingsLog::~ReadingsLog() { close(); }

std::optional<Notice> ReadingsLog::open(const std::string& folder) {
  if (file_) throw LogFileError("The readings log is already open.");
  // The dated log stands in for the rest of the session while the name stays unusable.
  if (!divertedName_.empty() && logPathKind(folder + divertedName_) == LogPathKind::file &&
      (isForeign(folder + kReadingsLogFileName) || !writable(folder + kReadingsLogFileName))) {
    return openAt(folder, divertedName_);
  }
  divertedName_.clear();
  try {
    return openAt(folder, kReadingsLogFileName);
  } catch (const LogFileError& error) {
    // A read-only file or a folder at the name: the readings go beside it.
    // Should that fail too, the caller goes on without the readings log.
    close();
    std::string reason = error.what();
    if (!reason.empty() && reason.back() == '.') reason.pop_back();
    return divert(folder, reason);
  }
}

std::optional<Notice> ReadingsLog::openAt(const std::string& folder, const std::string& fileName) {
  const std::string path = folder + fileName;
  switch (logPathKind(path)) {
    case LogPathKind::none:
      startNew(path);
      return std::nullopt;
    case LogPathKind::link: {
      const std::string aside = moveLogAside(folder, fileName, modificationStamp(path));
      startNew(path);
      return Notice{linkMovedAside(fileName, aside, "readings log")};
    }
    case LogPathKind::other:
      throw LogFileError("Cannot write the readings log " + path +
                         ": something that is not a file is in the way");
    case LogPathKind::file:
      break;
  }

  const Inspection found = inspect(path);
  if (found.empty || found.firstLine == kReadingsLogHeader || isTornHeader(found)) {
    file_ = appendToLogFile(path);
    path_ = path;
    if (found.empty || isTornHeader(found)) {
      // The header line, or what the tear left of it.
      append(std::string(kReadingsLogHeader).substr(found.firstLine.size()) + std::string(kLineEnd));
    } else if (found.endsInCr) {
      append("\n");  // the torn row had its CR: its line end is completed, no blank line follows
    } else if (!found.endsInLineEnd) {
      append(std::string(kLineEnd));  // the torn row stays a line of its own
    }
    return std::nullopt;
  }
  if (!isForeign(found)) {
    const std::string aside = moveLogAside(folder, fileName, asideStamp(path));
    startNew(path);
    const std::string why = startsWithNul(found)
                                ? " begins with NUL bytes (it was emptied in place while written)"
                                : " has the columns of another Nebulor version";
    return Notice{fileName + why + "; it was moved aside as " + aside + " and a new readings log begins."};
  }

  // Not a readings log: never written to. The readings go to a dated log.
  return divert(folder,
                std::string(kReadingsLogFileName) + " is not a Nebulor readings log, so it is left as it is");
}

std::optional<Notice> ReadingsLog::divert(const std::string& folder, const std::string& why) {
  const std::string stamp = logStamp(localTimeOf(std::time(nullptr)));
  std::string name;
  for (int copy = 1; name.empty() || logPathKind(folder + name) != LogPathKind::none; ++copy) {
    name = datedLogName(kReadingsLogFileName, stamp, copy);
  }
  startNew(folder + name);
  divertedName_ = name;
  return Notice{why + "; this session's readings go to " + name + "."};
}

void ReadingsLog::startNew(const std::string& path) {
  file_ = createLogFile(path);
  path_ = path;
  append(std::string(kReadingsLogHeader) + std::string(kLineEnd));
}

void ReadingsLog::write(const Reading& reading) {
  if (!file_) throw LogFileError("The readings log is not open.");
  if (emptiedInPlace(file_)) append(std::string(kReadingsLogHeader) + std::string(kLineEnd));
  append(readingsLogRow(reading) + std::string(kLineEnd));
}

void ReadingsLog::close() {
  if (!file_) return;
  std::fclose(file_);  // every row was flushed when written
  file_ = nullptr;
}

// Each row reaches the operating system at once, whole or not at all. A
// failed write closes the log; the caller opens it again for a later row.
void ReadingsLog::append(const std::string& line) {
  if (appendWhole(file_, line)) return;
  const std::string reason = systemErrorText(errno);
  close();
  throw LogFileError("Cannot write " + path_ + ": " + reason);
}

}  // namespace nebulor
