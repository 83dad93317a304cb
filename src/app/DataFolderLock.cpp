#include "app/DataFolderLock.h"

#include <cerrno>
#include <string_view>

#include "core/AppPaths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace nebulor {

namespace {

std::string inUse(const std::string& folder, std::string_view owner) {
  const std::string process = owner.empty() ? "another process" : "process " + std::string(owner);
  return "the data folder " + folder + " is in use by another Nebulor (" + process +
         "); stop that one, or choose another folder with --data-dir";
}

std::string cannotWrite(const std::string& folder, int error) {
  return "cannot write in the data folder " + folder + " (" + systemErrorText(error) +
         "); choose another folder with --data-dir";
}

// The owner's process id as it wrote it: digits only, so a damaged file cannot garble the message.
std::string ownerIn(std::string_view text) {
  const std::size_t digits = text.find_first_not_of("0123456789");
  return std::string(text.substr(0, digits));
}

}  // namespace

#ifdef _WIN32

// The lock covers one byte beyond the id, so the id stays readable to the next copy.
constexpr DWORD kLockedByte = 64;

DataFolderLock::~DataFolderLock() {
  if (handle_ != nullptr) CloseHandle(handle_);
}

std::optional<Failure> DataFolderLock::take(const std::string& folder) {
  const HANDLE file = CreateFileW(utf8Path(folder + kLockFileName).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failure{cannotWrite(folder, EACCES)};
  OVERLAPPED at{};
  at.Offset = kLockedByte;
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    char text[32] = {};
    DWORD count = 0;
    ReadFile(file, text, sizeof text - 1, &count, nullptr);
    CloseHandle(file);
    return Failure{inUse(folder, ownerIn(std::string_view(text, count)))};
  }
  const std::string id = std::to_string(GetCurrentProcessId()) + "\r\n";
  DWORD written = 0;
  WriteFile(file, id.data(), static_cast<DWORD>(id.size()), &written, nullptr);
  SetEndOfFile(file);
  handle_ = file;
  return std::nullopt;
}

#else

DataFolderLock::~DataFolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<Failure> DataFolderLock::take(const std::string& folder) {
  const int fd = ::open((folder + kLockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0 || ::access(folder.c_str(), W_OK) != 0) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    return Failure{cannotWrite(folder, error)};
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    char text[32] = {};
    const ssize_t count = ::pread(fd, text, sizeof text - 1, 0);
    ::close(fd);
    if (error != EWOULDBLOCK) return Failure{cannotWrite(folder, error)};
    return Failure{inUse(folder, ownerIn(std::string_view(text, count > 0 ? count : 0)))};
  }
  const std::string id = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, id.data(), id.size(), 0) != static_cast<ssize_t>(id.size())) {
    const int error = errno;
    ::close(fd);
    return Failure{cannotWrite(folder, error)};
  }
  fd_ = fd;
  return std::nullopt;
}

#endif

}  // namespace nebulor
