#pragma once

#include <sys/resource.h>

#include <csignal>
#include <cstddef>

namespace nebulor::testing {

// While it lives, no file of the process may grow beyond `bytes`: a write
// past it fails (EFBIG) as on a full disk, instead of raising SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::size_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &before_);
    rlimit limit = before_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &before_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  void (*oldHandler_)(int);
  rlimit before_{};
};

}  // namespace nebulor::testing
