#include "core/AppPaths.h"

#include <algorithm>
#include <random>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace nebulor {

namespace {

std::string utf8Text(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::filesystem::path executablePath() {
#ifdef _WIN32
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::filesystem::path(std::wstring(buffer.data(), length));
    buffer.resize(buffer.size() * 2);  // truncated: try a larger buffer
  }
#else
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error);
#endif
}

}  // namespace

std::string withTrailingSeparator(std::string folder) {
  if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder;
}

std::string GetEXEPath() {
  const std::filesystem::path executable = executablePath();
  std::error_code error;
  // Should the platform not say, the working folder is the best remaining guess.
  const std::filesystem::path folder =
      executable.empty() ? std::filesystem::current_path(error) : executable.parent_path();
  return withTrailingSeparator(utf8Text(folder));
}

std::string chooseDataFolder(const std::string& given, const std::string& programFolder,
                             const std::function<bool(const std::string&)>& canKeepFiles,
                             const std::string& userFolder) {
  if (!given.empty()) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(utf8Path(given), error);
    return withTrailingSeparator(error ? given : utf8Text(absolute.lexically_normal()));
  }
  if (userFolder.empty() || canKeepFiles(programFolder)) return programFolder;
  return userFolder;
}

std::string userDataFolder(const std::function<const char*(const char*)>& environment) {
  const auto absoluteVariable = [&environment](const char* name) -> std::optional<std::filesystem::path> {
    const char* value = environment(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    std::filesystem::path path = utf8Path(value);
    if (!path.is_absolute()) return std::nullopt;
    return path;
  };
#ifdef _WIN32
  const auto base = absoluteVariable("LOCALAPPDATA");
  if (!base) return {};
  return withTrailingSeparator(utf8Text(*base / "Nebulor"));
#else
  if (const auto base = absoluteVariable("XDG_DATA_HOME"))
    return withTrailingSeparator(utf8Text(*base / "nebulor"));
  const auto home = absoluteVariable("HOME");
  if (!home) return {};
  return withTrailingSeparator(utf8Text(*home / ".local" / "share" / "nebulor"));
#endif
}

bool canKeepFilesIn(const std::string& folder) {
#ifndef _WIN32
  const std::filesystem::path usr("/usr");
  const std::filesystem::path path = utf8Path(folder).lexically_normal();
  if (std::mismatch(usr.begin(), usr.end(), path.begin(), path.end()).first == usr.end()) return false;
#endif
  std::random_device random;
  const std::string probe = withTrailingSeparator(folder) + ".nebulor-write-test-" + std::to_string(random());
  std::FILE* file = openFile(probe, "wb");
  if (file == nullptr) return false;
  std::fclose(file);
  std::error_code ignored;
  std::filesystem::remove(utf8Path(probe), ignored);
  return true;
}

std::optional<Failure> createFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(utf8Path(folder), error);
  if (error) return Failure{"Cannot create " + folder + ": " + error.message()};
  return std::nullopt;
}

bool FileExists(const std::string& FileName) {
  std::error_code error;
  const auto status = std::filesystem::status(utf8Path(FileName), error);
  return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

std::filesystem::path utf8Path(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::FILE* openFile(const std::string& path, const char* mode) {
#ifdef _WIN32
  const std::wstring wideMode(mode, mode + std::string_view(mode).size());
  return _wfopen(utf8Path(path).c_str(), wideMode.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

bool writeText(std::FILE* file, std::string_view text) {
  return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
}

std::string systemErrorText(int errorNumber) { return std::generic_category().message(errorNumber); }

}  // namespace nebulor
