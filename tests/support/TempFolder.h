#pragma once

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#ifndef _WIN32
#include <signal.h>
#include <unistd.h>
#endif

#include "core/AppPaths.h"

namespace nebulor::testing {

inline std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh empty folder under the system's temporary folder, named
// `prefix`-<process id>-<random>. A test killed outright cannot remove its
// folders: each new one first removes those whose process is gone.
inline std::filesystem::path freshTempFolder(const std::string& prefix) {
  const std::filesystem::path temporary = std::filesystem::temp_directory_path();
#ifndef _WIN32
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(temporary, ignored)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(prefix + "-")) continue;
    const std::string rest = name.substr(prefix.size() + 1);
    const std::size_t dash = rest.find('-');
    if (dash == std::string::npos || dash == 0 || rest.find_first_not_of("0123456789") != dash) continue;
    const pid_t owner = static_cast<pid_t>(std::stol(rest.substr(0, dash)));
    if (::kill(owner, 0) != 0 && errno == ESRCH) std::filesystem::remove_all(entry.path(), ignored);
  }
  const std::string process = std::to_string(::getpid());
#else
  const std::string process = "0";
#endif
  std::random_device entropy;
  std::filesystem::path path;
  do {
    path = temporary / (prefix + "-" + process + "-" + std::to_string(entropy()));
  } while (!std::filesystem::create_directory(path));
  return path;
}

// A fresh empty folder of its own for one test (config.ini, the logs),
// removed with everything in it afterwards.
class TempFolder {
 public:
  TempFolder() : path_(freshTempFolder("nebulor-test")) {}
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::filesystem::path& path() const { return path_; }
  // The folder as the program's file operations take it: ending in a separator.
  std::string folder() const { return withTrailingSeparator(path_.string()); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

  std::string read(const std::string& name) const { return readBytes(file(name)); }
  void write(const std::string& name, const std::string& bytes) const { writeBytes(file(name), bytes); }

 private:
  std::filesystem::path path_;
};

}  // namespace nebulor::testing
