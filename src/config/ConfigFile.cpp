#include "config/ConfigFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <system_error>

#include "core/AppPaths.h"
#include "core/MonitorState.h"
#include "core/NumberParse.h"
#include "core/NumberText.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace nebulor {

namespace {

// The reals in the order the file lists them; samplesPerReading comes last.
struct RealKey {
  const char* name;
  float Config::*member;
  bool mustBePositive;  // the reduction raises it to negative powers; no camera exposes 0 s or less
};
constexpr std::array<RealKey, 6> kRealKeys{{
    {"holeDistance", &Config::holeDistance, true},
    {"holeDiameter", &Config::holeDiameter, true},
    {"wavelength", &Config::wavelength, true},
    {"systemNoise", &Config::systemNoise, false},
    {"initialExposure", &Config::initialExposure, true},
    {"measurementExposure", &Config::measurementExposure, true},
}};
constexpr std::string_view kSamplesKey = "samplesPerReading";

constexpr std::string_view kLineEnd = "\r\n";

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The empty field is 0.
std::optional<double> numberIn(std::string_view text) {
  if (text.empty()) return 0.0;
  return parseNumber(text);
}

class LineReader {
 public:
  explicit LineReader(ConfigParse& parse) : parse_(parse) {}

  // One "key,value" record; anything else, or a key that is none of the
  // seven (letter case counts), is passed over.
  void read(std::string_view line, int lineNumber) {
    const auto comma = line.find(',');
    if (comma == std::string_view::npos) return;
    const std::string_view key = trimmed(line.substr(0, comma));
    const std::string_view rest = line.substr(comma + 1);
    if (rest.find(',') != std::string_view::npos) return;
    const std::string_view value = trimmed(rest);
    lineNumber_ = lineNumber;
    if (key == kSamplesKey) {
      readSamples(value);
      return;
    }
    for (const RealKey& real : kRealKeys) {
      if (key == real.name) readReal(real, value);
    }
  }

 private:
  void readReal(const RealKey& real, std::string_view value) {
    float& target = parse_.config.*real.member;
    const std::optional<double> number = numberIn(value);
    if (!number) return warn(real.name, value, "is not a number", singleText(target));
    const auto single = static_cast<float>(*number);
    if (!std::isfinite(single)) {
      return warn(real.name, value, "is not a finite single-precision number", singleText(target));
    }
    if (real.mustBePositive && !(single > 0))
      return warn(real.name, value, "is not above 0", singleText(target));
    target = single;
  }

  void readSamples(std::string_view value) {
    std::int16_t& target = parse_.config.samplesPerReading;
    const std::optional<double> number = numberIn(value);
    if (!number) return warn(kSamplesKey, value, "is not a number", std::to_string(target));
    const double rounded = std::nearbyint(*number);  // halves go to the even neighbour
    if (!samplesPerReadingFits(rounded)) {
      return warn(kSamplesKey, value,
                  "does not round to a whole number from 1 to " + std::to_string(kMaxSamples),
                  std::to_string(target));
    }
    target = static_cast<std::int16_t>(rounded);
  }

  void warn(std::string_view key, std::string_view value, const std::string& problem,
            const std::string& kept) {
    parse_.warnings.push_back("config.ini line " + std::to_string(lineNumber_) + ": " + std::string(key) +
                              " \"" + std::string(value) + "\" " + problem + "; keeping " + kept + ".");
  }

  ConfigParse& parse_;
  int lineNumber_ = 0;
};

// Two holes cannot overlap, and below about half a diameter the transverse
// response turns non-positive: every reading would be refused. Both sizes
// go back to their defaults, which fit each other.
void checkHoleSizes(ConfigParse& parse) {
  Config& config = parse.config;
  if (config.holeDistance > config.holeDiameter) return;
  const Config defaults = defaultConfig();
  parse.warnings.push_back("config.ini: holeDistance " + singleText(config.holeDistance) +
                           " is not larger than holeDiameter " + singleText(config.holeDiameter) +
                           "; keeping " + singleText(defaults.holeDistance) + " and " +
                           singleText(defaults.holeDiameter) + ".");
  config.holeDistance = defaults.holeDistance;
  config.holeDiameter = defaults.holeDiameter;
}

std::string readFailure(const std::string& path, int errorNumber) {
  return "config.ini could not be read (" + path + ": " + systemErrorText(errorNumber) +
         "); using the defaults.";
}

void removeQuietly(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(utf8Path(path), ignored);
}

std::string saveFailure(const std::string& path, const std::string& reason) {
  return "config.ini could not be saved (" + path + ": " + reason + "); the old file is unchanged.";
}

// Makes the written bytes durable before the rename publishes them.
bool syncToDisk(std::FILE* file) {
#ifdef _WIN32
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

// Replaces target by source in one step; the reason when that failed.
std::optional<std::string> replaceFile(const std::string& source, const std::string& target) {
#ifdef _WIN32
  if (MoveFileExW(utf8Path(source).c_str(), utf8Path(target).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return std::nullopt;
  }
  return std::system_category().message(static_cast<int>(GetLastError()));
#else
  if (std::rename(source.c_str(), target.c_str()) != 0) return systemErrorText(errno);
  // The rename itself reaches the disk with the folder's entry; best effort.
  const std::string folder = utf8Path(target).parent_path().string();
  const int folderFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY);
  if (folderFd >= 0) {
    fsync(folderFd);
    ::close(folderFd);
  }
  return std::nullopt;
#endif
}

// The replacement keeps who may read and write the old file; best effort.
void keepPermissions(const std::string& oldPath, const std::string& newPath) {
  std::error_code error;
  const auto old = std::filesystem::status(utf8Path(oldPath), error);
  if (!error && std::filesystem::is_regular_file(old)) {
    std::filesystem::permissions(utf8Path(newPath), old.permissions(), error);
  }
}

// Writes the whole text to a new file beside the target; the reason when
// that failed, and then no new file is left behind.
std::optional<std::string> writeWholeFile(const std::string& path, std::string_view text) {
  std::FILE* file = openFile(path, "wb");
  if (!file) return systemErrorText(errno);
  const bool written = writeText(file, text) && syncToDisk(file);
  const int writeError = errno;
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return std::nullopt;
  const std::string reason = systemErrorText(written ? errno : writeError);
  removeQuietly(path);
  return reason;
}

}  // namespace

std::string configText(const Config& config) {
  std::string text;
  for (const RealKey& real : kRealKeys) {
    text += real.name;
    text += ',';
    text += singleText(config.*real.member);
    text += kLineEnd;
  }
  text += kSamplesKey;
  text += ',';
  text += std::to_string(config.samplesPerReading);
  text += kLineEnd;
  return text;
}

ConfigParse parseConfigText(std::string_view text) {
  ConfigParse parse{defaultConfig(), {}};
  LineReader reader(parse);
  // Lines end in CR LF, CR or LF; a last line without its end reads the same.
  int lineNumber = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
    reader.read(text.substr(start, end - start), ++lineNumber);
    start = end;
    if (start < text.size() && text[start] == '\r') ++start;
    if (start < text.size() && text[start] == '\n') ++start;
  }
  checkHoleSizes(parse);
  return parse;
}

std::vector<std::string> LoadConfig(Config& config, const std::string& folder) {
  const std::string path = folder + kConfigFileName;
  config = defaultConfig();
  if (!FileExists(path)) return {};
  std::FILE* file = openFile(path, "rb");
  if (!file) return {readFailure(path, errno)};
  std::string text;
  char buffer[4096];
  std::size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, count);
  const bool failed = std::ferror(file) != 0;
  const int readError = errno;
  std::fclose(file);
  if (failed) return {readFailure(path, readError)};
  ConfigParse parse = parseConfigText(text);
  config = parse.config;
  return parse.warnings;
}

std::optional<std::string> SaveConfig(const Config& config, bool configLoaded, const std::string& folder) {
  if (!configLoaded) return std::string("The configuration was never loaded, so config.ini was not written.");
  const std::string path = folder + kConfigFileName;
  // A config.ini that may not be written (read-only, locked) stays as it is,
  // even though the folder would allow replacing it.
  if (FileExists(path)) {
    std::FILE* probe = openFile(path, "ab");
    if (!probe) return saveFailure(path, systemErrorText(errno));
    std::fclose(probe);
  }
  const std::string newPath = path + ".new";
  if (auto reason = writeWholeFile(newPath, configText(config))) return saveFailure(newPath, *reason);
  keepPermissions(path, newPath);
  if (auto reason = replaceFile(newPath, path)) {
    removeQuietly(newPath);
    return saveFailure(path, *reason);
  }
  return std::nullopt;
}

}  // namespace nebulor
