#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "core/AppPaths.h"

namespace nebulor::testing {

inline std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh empty folder of its own for one test (config.ini, the logs),
// removed with everything in it afterwards.
class TempFolder {
 public:
  TempFolder() {
    std::random_device entropy;
    do {
      path_ = std::filesystem::temp_directory_path() / ("nebulor-test-" + std::to_string(entropy()));
    } while (!std::filesystem::create_directory(path_));
  }
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
