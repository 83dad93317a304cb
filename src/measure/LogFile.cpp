#include "measure/LogFile.h"

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "core/AppPaths.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace nebulor {

namespace {

constexpr int kMostCopies = 10000;  // dated names tried: far beyond any night, short of a hang

[[noreturn]] void fail(const std::string& what, const std::string& path, int errorNumber) {
  throw LogFileError(what + " " + path + ": " + systemErrorText(errorNumber));
}

std::FILE* streamOf(int fd, const char* mode, const std::string& path) {
  if (fd < 0) fail("Cannot open", path, errno);
#ifdef _WIN32
  std::FILE* file = _fdopen(fd, mode);
  if (!file) {
    const int error = errno;
    _close(fd);
    fail("Cannot open", path, error);
  }
#else
  std::FILE* file = fdopen(fd, mode);
  if (!file) {
    const int error = errno;
    ::close(fd);
    fail("Cannot open", path, error);
  }
#endif
  return file;
}

// Renames without ever replacing what is at `to`: false (errno EEXIST) when
// that name is taken.
bool renameNoReplace(const std::string& from, const std::string& to) {
#ifdef _WIN32
  if (MoveFileExW(utf8Path(from).c_str(), utf8Path(to).c_str(), 0)) return true;
  const DWORD error = GetLastError();
  errno = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? EEXIST : EACCES;
  return false;
#else
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
#endif
  // A file system without the atomic form: look first.
  struct stat taken {};
  if (::lstat(to.c_str(), &taken) == 0) {
    errno = EEXIST;
    return false;
  }
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

LogPathKind logPathKind(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(utf8Path(path), error);
  if (error || !std::filesystem::exists(status)) return LogPathKind::none;
  if (std::filesystem::is_symlink(status)) return LogPathKind::link;
  if (std::filesystem::is_regular_file(status)) return LogPathKind::file;
  return LogPathKind::other;
}

std::FILE* createLogFile(const std::string& path) {
#ifdef _WIN32
  const int fd = _wopen(utf8Path(path).c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_EXCL | _O_BINARY,
                        _S_IREAD | _S_IWRITE);
#else
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
#endif
  if (fd < 0) fail("Cannot create", path, errno);
  return streamOf(fd, "ab", path);
}

std::FILE* appendToLogFile(const std::string& path) {
#ifdef _WIN32
  const int fd = _wopen(utf8Path(path).c_str(), _O_WRONLY | _O_APPEND | _O_BINARY);
#else
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
#endif
  return streamOf(fd, "ab", path);
}

bool appendWhole(std::FILE* file, std::string_view line) {
  // Every line goes straight to the descriptor, so stdio never holds a part of one.
  if (std::fflush(file) != 0) return false;
  const int fd = fileno(file);
  std::size_t written = 0;
  while (written < line.size()) {
#ifdef _WIN32
    const auto count = _write(fd, line.data() + written, static_cast<unsigned>(line.size() - written));
#else
    const auto count = ::write(fd, line.data() + written, line.size() - written);
#endif
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      if (count == 0) errno = ENOSPC;
      break;
    }
    written += static_cast<std::size_t>(count);
  }
  if (written == line.size()) return true;
  const int error = errno;
  if (written > 0) {
    // Appended at the end, so the part written is the file's last bytes.
#ifdef _WIN32
    struct _stat64 status {};
    if (_fstat64(fd, &status) == 0) _chsize_s(fd, status.st_size - static_cast<long long>(written));
#else
    struct stat status {};
    const bool cut =
        ::fstat(fd, &status) == 0 && ::ftruncate(fd, status.st_size - static_cast<off_t>(written)) == 0;
    static_cast<void>(cut);  // should that fail too, the write's own error is still the one to report
#endif
  }
  errno = error;
  return false;
}

bool emptiedInPlace(std::FILE* file) {
#ifdef _WIN32
  struct _stat64 status {};
  return _fstat64(_fileno(file), &status) == 0 && status.st_size == 0;
#else
  struct stat status {};
  return ::fstat(fileno(file), &status) == 0 && status.st_size == 0;
#endif
}

std::string linkMovedAside(const std::string& fileName, const std::string& aside, const std::string& what) {
  return fileName + " was a link to another file; the link was moved aside as " + aside + " and a new " +
         what + " begins.";
}

std::tm localTimeOf(std::time_t time) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &time);
#else
  localtime_r(&time, &local);
#endif
  return local;
}

std::string logStamp(const std::tm& localTime) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d%02d%02d-%02d%02d%02d", localTime.tm_year + 1900,
                localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour, localTime.tm_min,
                localTime.tm_sec);
  return buffer;
}

std::optional<std::string> firstRowStamp(const std::string& path) {
  std::FILE* file = openFile(path, "rb");
  if (!file) return std::nullopt;
  // The header line is skipped; only the start of the next line is read.
  int c = 0;
  std::size_t skipped = 0;
  constexpr std::size_t kLongestHeader = 4096;
  while ((c = std::fgetc(file)) != EOF && c != '\n' && ++skipped < kLongestHeader) {
  }
  std::string digits;
  while ((c = std::fgetc(file)) != EOF && c != ',' && c != '\r' && c != '\n' && digits.size() < 14) {
    if (std::isdigit(c)) digits += static_cast<char>(c);
  }
  std::fclose(file);
  if (digits.size() != 8 && digits.size() < 14) return std::nullopt;
  if (digits.size() == 8) digits += "000000";  // a row written at exactly midnight
  return digits.substr(0, 8) + "-" + digits.substr(8, 6);
}

std::string modificationStamp(const std::string& path) {
  std::time_t time = std::time(nullptr);
#ifdef _WIN32
  struct _stat64 status {};
  if (_wstat64(utf8Path(path).c_str(), &status) == 0) time = status.st_mtime;
#else
  struct stat status {};
  if (::lstat(path.c_str(), &status) == 0) time = status.st_mtime;
#endif
  return logStamp(localTimeOf(time));
}

std::string asideStamp(const std::string& path) {
  return firstRowStamp(path).value_or(modificationStamp(path));
}

std::string datedLogName(const std::string& fileName, const std::string& stamp, int copy) {
  const std::string name = fileName.substr(0, fileName.rfind(".csv"));
  return name + "-" + stamp + (copy == 1 ? "" : "-" + std::to_string(copy)) + ".csv";
}

std::string moveLogAside(const std::string& folder, const std::string& fileName, const std::string& stamp) {
  const std::string from = folder + fileName;
  for (int copy = 1; copy <= kMostCopies; ++copy) {
    const std::string aside = datedLogName(fileName, stamp, copy);
    if (renameNoReplace(from, folder + aside)) return aside;
    if (errno != EEXIST) fail("Cannot move aside", from, errno);
  }
  fail("Cannot move aside", from, EEXIST);
}

std::optional<std::string> makeRoomForLog(const std::string& folder, const std::string& fileName) {
  const std::string path = folder + fileName;
  switch (logPathKind(path)) {
    case LogPathKind::none:
      return std::nullopt;
    case LogPathKind::link:
      return moveLogAside(folder, fileName, modificationStamp(path));
    case LogPathKind::file: {
      std::error_code error;
      if (std::filesystem::file_size(utf8Path(path), error) == 0 && !error) {
        std::filesystem::remove(utf8Path(path), error);  // nothing in it to keep
        if (error) fail("Cannot remove", path, error.value());
        return std::nullopt;
      }
      return moveLogAside(folder, fileName, asideStamp(path));
    }
    case LogPathKind::other:
      break;
  }
  throw LogFileError("Cannot create " + path + ": something that is not a file is in the way.");
}

}  // namespace nebulor
