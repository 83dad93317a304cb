#pragma once

#include <optional>
#include <string>

#include "core/Failure.h"

namespace nebulor {

inline constexpr const char* kLockFileName = "nebulor.lock";

// One running Nebulor per data folder: an advisory lock on nebulor.lock in
// the folder, held while this object lives. The operating system releases
// it when the process ends however it ends (kill -9 included), so it is
// never stale; the file stays and holds the owner's process id for the
// message of the next copy that is refused.
class DataFolderLock {
 public:
  DataFolderLock() = default;
  DataFolderLock(const DataFolderLock&) = delete;
  DataFolderLock& operator=(const DataFolderLock&) = delete;
  ~DataFolderLock();

  // Takes the folder. The reason, in one line, when another process holds
  // it (naming that process and --data-dir) or the folder cannot be written.
  std::optional<Failure> take(const std::string& folder);

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace nebulor
