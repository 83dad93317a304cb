#include "config/ConfigFile.h"

#include <sys/stat.h>

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
#include <fcntl.h>
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

// Seven short lines need a few hundred bytes. Whatever config.ini turns out
// to be (a huge file, a link to an endless device) only this much is read,
// and a file full of bad lines is not listed in full.
constexpr std::size_t kMaxConfigBytes = 64 * 1024;
constexpr std::size_t kMaxWarnings = 20;

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

  // Closes the list, warnings added after the lines (the hole sizes) kept
  // to the same length, with the count of warnings left out of it.
  void finish() {
    if (parse_.warnings.size() > kMaxWarnings) {
      unlisted_ += parse_.warnings.size() - kMaxWarnings;
      parse_.warnings.resize(kMaxWarnings);
    }
    if (unlisted_ > 0) parse_.warnings.push_back("... and " + std::to_string(unlisted_) + " more.");
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
    if (parse_.warnings.size() >= kMaxWarnings) {
      ++unlisted_;
      return;
    }
    // A long value is shown by its start: enough to find the line.
    constexpr std::size_t kShownLength = 40;
    const std::string shown =
        value.size() > kShownLength ? std::string(value.substr(0, kShownLength)) + "..." : std::string(value);
    parse_.warnings.push_back("config.ini line " + std::to_string(lineNumber_) + ": " + std::string(key) +
                              " \"" + shown + "\" " + problem + "; keeping " + kept + ".");
  }

  ConfigParse& parse_;
  int lineNumber_ = 0;
  std::size_t unlisted_ = 0;  // warnings beyond kMaxWarnings
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

// Opening never waits: a FIFO without a writer would otherwise block the
// start-up for ever. Only what the opened descriptor shows to be a regular
// file is read, so the file cannot be swapped between a check and the read.
std::FILE* openForReading(const std::string& path) {
#ifdef _WIN32
  return openFile(path, "rb");
#else
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) return nullptr;
  std::FILE* file = ::fdopen(descriptor, "rb");
  if (file == nullptr) {
    const int error = errno;
    ::close(descriptor);
    errno = error;
  }
  return file;
#endif
}

bool isRegularFile(std::FILE* file) {
#ifdef _WIN32
  struct _stat64 info {};
  return _fstat64(_fileno(file), &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat info {};
  return ::fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
#endif
}

// The text of config.ini, at most kMaxConfigBytes of it, or the message
// that says why it was not read.
struct FileText {
  std::string text;
  std::vector<std::string> problems;
};

FileText readConfigFile(const std::string& path) {
  std::FILE* file = openForReading(path);
  if (file == nullptr) return {{}, {readFailure(path, errno)}};
  FileText read;
  if (!isRegularFile(file)) {
    std::fclose(file);
    read.problems.push_back("config.ini is not a regular file (" + path + "); using the defaults.");
    return read;
  }
  read.text.resize(kMaxConfigBytes + 1);  // one byte more tells a longer file
  const std::size_t count = std::fread(read.text.data(), 1, read.text.size(), file);
  const bool failed = std::ferror(file) != 0;
  const int readError = errno;
  std::fclose(file);
  if (failed) return {{}, {readFailure(path, readError)}};
  read.text.resize(count);
  if (count > kMaxConfigBytes) {
    // Only whole lines of what was read count.
    const std::size_t lastLineEnd = read.text.find_last_of("\r\n", kMaxConfigBytes - 1);
    read.text.resize(lastLineEnd == std::string::npos ? 0 : lastLineEnd + 1);
    read.problems.push_back("config.ini is larger than " + std::to_string(kMaxConfigBytes / 1024) + " KiB (" +
                            path + "); only its first lines were read, the rest keeps the defaults.");
  }
  return read;
}

void removeQuietly(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(utf8Path(path), ignored);
}

Failure saveFailure(const std::string& path, const std::string& reason) {
  return {"config.ini could not be saved (" + path + ": " + reason + "); the old file is unchanged."};
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
std::optional<Failure> replaceFile(const std::string& source, const std::string& target) {
#ifdef _WIN32
  if (MoveFileExW(utf8Path(source).c_str(), utf8Path(target).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return std::nullopt;
  }
  return Failure{std::system_category().message(static_cast<int>(GetLastError()))};
#else
  if (std::rename(source.c_str(), target.c_str()) != 0) return Failure{systemErrorText(errno)};
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

// Creates the file afresh; fails when anything stands at the path. An
// exclusive create never follows a link, so a link left there cannot lead
// the write into another file.
std::FILE* createNewFile(const std::string& path) {
#ifdef _WIN32
  const int descriptor =
      _wopen(utf8Path(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  std::FILE* file = descriptor < 0 ? nullptr : _fdopen(descriptor, "wb");
  if (descriptor >= 0 && file == nullptr) _close(descriptor);
#else
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  std::FILE* file = descriptor < 0 ? nullptr : ::fdopen(descriptor, "wb");
  if (descriptor >= 0 && file == nullptr) ::close(descriptor);
#endif
  return file;
}

// Writes the whole text to a new file beside the target; the reason when
// that failed, and then no new file is left behind. Whatever an earlier
// failed save left at the path is removed first.
std::optional<Failure> writeWholeFile(const std::string& path, std::string_view text) {
  removeQuietly(path);
  std::FILE* file = createNewFile(path);
  if (!file) return Failure{systemErrorText(errno)};
  const bool written = writeText(file, text) && syncToDisk(file);
  const int writeError = errno;
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return std::nullopt;
  Failure failure{systemErrorText(written ? errno : writeError)};
  removeQuietly(path);
  return failure;
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
  reader.finish();
  return parse;
}

std::vector<std::string> LoadConfig(Config& config, const std::string& folder) {
  const std::string path = folder + kConfigFileName;
  config = defaultConfig();
  if (!FileExists(path)) return {};
  FileText file = readConfigFile(path);
  ConfigParse parse = parseConfigText(file.text);
  config = parse.config;
  file.problems.insert(file.problems.end(), parse.warnings.begin(), parse.warnings.end());
  return file.problems;
}

std::optional<Failure> SaveConfig(const Config& config, bool configLoaded, const std::string& folder) {
  if (!configLoaded) return Failure{"The configuration was never loaded, so config.ini was not written."};
  const std::string path = folder + kConfigFileName;
  // A config.ini that may not be written (read-only, locked) stays as it is,
  // even though the folder would allow replacing it. Only a regular file is
  // tried: opening a FIFO for writing would wait for a reader.
  std::error_code error;
  if (std::filesystem::is_regular_file(utf8Path(path), error)) {
    std::FILE* probe = openFile(path, "ab");
    if (!probe) return saveFailure(path, systemErrorText(errno));
    std::fclose(probe);
  }
  const std::string newPath = path + ".new";
  if (auto failure = writeWholeFile(newPath, configText(config)))
    return saveFailure(newPath, failure->reason);
  keepPermissions(path, newPath);
  if (auto failure = replaceFile(newPath, path)) {
    removeQuietly(newPath);
    return saveFailure(path, failure->reason);
  }
  return std::nullopt;
}

}  // namespace nebulor
