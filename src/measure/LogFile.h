#pragma once

#include <cstdio>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace nebulor {

// A log file that could not be created, moved aside or written; what() says
// which file and why.
class LogFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What lies at a log's path: nothing, a regular file, a symbolic link (never
// written through) or something else (a folder, a device).
enum class LogPathKind { none, file, link, other };
LogPathKind logPathKind(const std::string& path);

// Every log is written in append mode: each write lands at the end of the
// file whatever else has moved it (another writer, a log rotation that
// empties the file in place), so no row overwrites another or leaves a gap.

// Creates a new, empty log file for writing. Never opens an existing file
// and never follows a symbolic link: if anything appeared at the path, this
// fails. Throws LogFileError.
std::FILE* createLogFile(const std::string& path);

// Opens an existing regular log file for appending, never through a
// symbolic link. Throws LogFileError.
std::FILE* appendToLogFile(const std::string& path);

// Appends one line so that it lands whole or not at all: a write cut short
// (a full disk) is taken back to the line's start, so the file never holds a
// partial row and the next row may simply be tried again. False (errno set)
// when the line could not be written.
bool appendWhole(std::FILE* file, std::string_view line);

// True when the open log holds nothing: it was emptied in place since it
// was written (logrotate's copytruncate), so it needs its header again.
bool emptiedInPlace(std::FILE* file);

// "YYYYMMDD-HHMMSS" of a local time.
std::string logStamp(const std::tm& localTime);

// The stamp of the first data row (the second line) of a log: the first 14
// digits of its first field, the time part taken as 000000 when the field
// holds only a date. Nothing when the file has no such row.
std::optional<std::string> firstRowStamp(const std::string& path);

// The file's (or link's own) modification time as a stamp; the present time
// when it cannot be read.
std::string modificationStamp(const std::string& path);

// The stamp a log is moved aside under: its first data row's, else its
// modification time's.
std::string asideStamp(const std::string& path);

// NAME-STAMP.csv for NAME.csv, or NAME-STAMP-COPY.csv from the second copy on.
std::string datedLogName(const std::string& fileName, const std::string& stamp, int copy);

// Moves the file (or the link itself, never its target) NAME.csv in the
// folder to NAME-STAMP.csv, or NAME-STAMP-2.csv, -3, ... when that name is
// taken: an existing file is never overwritten. Returns the new file name.
// Throws LogFileError.
std::string moveLogAside(const std::string& folder, const std::string& fileName, const std::string& stamp);

// Makes room for a new log at folder + fileName: an empty file is removed, a
// file with content is moved aside under the stamp of its first data row (its
// modification time when it has none), a symbolic link is moved aside under
// its own modification time. Returns the name it was moved to, if it was.
// Throws LogFileError when something else (a folder) is in the way.
std::optional<std::string> makeRoomForLog(const std::string& folder, const std::string& fileName);

// What the user is told when a log's name was a symbolic link, moved aside
// as `aside` so that a new log (`what`: "readings log") begins.
std::string linkMovedAside(const std::string& fileName, const std::string& aside, const std::string& what);

// The local calendar time of a moment.
std::tm localTimeOf(std::time_t time);

}  // namespace nebulor
