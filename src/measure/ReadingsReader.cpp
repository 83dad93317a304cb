#include "measure/ReadingsReader.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "core/AppPaths.h"
#include "core/NumberParse.h"
#include "measure/ReadingsLog.h"

namespace nebulor {

namespace {

std::vector<std::string_view> splitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(
        line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

std::optional<int> digits(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return std::nullopt;
  const std::string_view part = text.substr(at, count);
  if (part.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  return parseWhole<int>(part);
}

// "2026-12-07T23:14:05+01:00" or "...Z": the moment and the row's offset from UTC.
// A reading's time is kept to the nanosecond, which reaches 292 years either
// side of 1970: a year beyond these is no reading's.
constexpr int kEarliestYear = 1900;
constexpr int kLatestYear = 2200;

bool parseLocalTime(std::string_view text, Reading& reading) {
  const auto year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
  const auto hour = digits(text, 11, 2), minute = digits(text, 14, 2), second = digits(text, 17, 2);
  if (!year || !month || !day || !hour || !minute || !second || text[4] != '-' || text[7] != '-' ||
      text[10] != 'T' || text[13] != ':' || text[16] != ':' || *month < 1 || *month > 12 || *day < 1 ||
      *day > 31 || *hour > 23 || *minute > 59 || *second > 60 || *year < kEarliestYear ||
      *year > kLatestYear) {
    return false;
  }
  int offset = 0;
  if (text.substr(19) != "Z") {
    const auto offsetHours = digits(text, 20, 2), offsetMinutes = digits(text, 23, 2);
    if (text.size() != 25 || (text[19] != '+' && text[19] != '-') || text[22] != ':' || !offsetHours ||
        !offsetMinutes || *offsetHours > 18 || *offsetMinutes > 59) {
      return false;
    }
    offset = (text[19] == '-' ? -60 : 60) * (*offsetHours * 60 + *offsetMinutes);
  }
  const std::time_t local = static_cast<std::time_t>(daysFromCivil(*year, *month, *day)) * 86400 +
                            *hour * 3600 + *minute * 60 + *second;
  reading.time = WallClock::from_time_t(local - offset);
  reading.utcOffset = offset;
  return true;
}

bool readNumber(std::string_view text, double& value) {
  const std::optional<double> parsed = parseNumber(text);
  if (!parsed || !std::isfinite(*parsed)) return false;
  value = *parsed;
  return true;
}

bool readCount(std::string_view text, int& value) {
  const std::optional<int> parsed = parseWhole<int>(text);
  if (!parsed || *parsed < 0) return false;
  value = *parsed;
  return true;
}

bool readNumber(std::string_view text, float& value) {
  double number = 0;
  if (!readNumber(text, number) || !std::isfinite(static_cast<float>(number))) return false;
  value = static_cast<float>(number);
  return true;
}

// An empty field is an unknown value.
template <typename Number>
bool readOptional(std::string_view text, std::optional<Number>& value) {
  if (text.empty()) return true;
  Number number = 0;
  if (!readNumber(text, number)) return false;
  value = number;
  return true;
}

std::string rowsText(int rows, const char* what) {
  return std::to_string(rows) + (rows == 1 ? " row " : " rows ") + what + (rows == 1 ? " was" : " were") +
         " skipped";
}

}  // namespace

void ReadingsReader::feed(std::string_view bytes) {
  offset_ += bytes.size();
  for (std::size_t end; (end = bytes.find('\n')) != std::string_view::npos; bytes.remove_prefix(end + 1)) {
    if (pending_.empty()) {
      readLine(bytes.substr(0, end));
    } else {
      pending_.append(bytes.substr(0, end));
      readLine(pending_);
      pending_.clear();
    }
  }
  pending_.append(bytes);
}

void ReadingsReader::finish() {
  if (!pending_.empty()) readLine(pending_);
  pending_.clear();
}

std::optional<Failure> ReadingsReader::readNew(const std::string& path) {
  std::FILE* file = openFile(path, "rb");
  if (!file) return Failure{"Cannot read " + path + ": " + systemErrorText(errno)};
  std::error_code ignored;
  if (std::filesystem::file_size(utf8Path(path), ignored) < offset_) *this = ReadingsReader();
  // Chunk by chunk: a log of many nights is never held whole.
  if (std::fseek(file, static_cast<long>(offset_), SEEK_SET) == 0) {
    char chunk[65536];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) feed({chunk, got});
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return Failure{"Cannot read " + path + ": " + systemErrorText(EIO)};
  return std::nullopt;
}

void ReadingsReader::readLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.empty()) return;
  const std::vector<std::string_view> fields = splitFields(line);
  if (columns_) {
    readRow(fields);
    return;
  }
  Columns columns;
  columns.count = static_cast<int>(fields.size());
  const struct {
    const char* name;
    int Columns::*index;
  } known[] = {{"local_time", &Columns::time},
               {"airmass", &Columns::airmass},
               {"seeing_arcsec", &Columns::seeing},
               {"r0_cm", &Columns::r0},
               {"long_sigma_px", &Columns::longSigma},
               {"trans_sigma_px", &Columns::transSigma},
               {"exposures_used", &Columns::used},
               {"exposures_rejected", &Columns::rejected},
               {"seeing_error_arcsec", &Columns::seeingError},
               {"best_arcsec", &Columns::best},
               {"best_error_arcsec", &Columns::bestError},
               {"best_exposure_s", &Columns::bestExposure},
               {"wavelength_um", &Columns::wavelength},
               {"tau0_ms", &Columns::tau0},
               {"tau0_error_ms", &Columns::tau0Error},
               {"wind_ms", &Columns::wind},
               {"wind_error_ms", &Columns::windError}};
  for (int i = 0; i < columns.count; ++i) {
    for (const auto& column : known) {
      if (fields[i] == column.name) columns.*column.index = i;
    }
  }
  columns_ = columns;
}

void ReadingsReader::readRow(const std::vector<std::string_view>& fields) {
  const Columns& at = *columns_;
  if (foreign()) return;  // failure() says so
  const int count = static_cast<int>(fields.size());
  if (count < at.count) {
    ++cutShort_;
    return;
  }
  if (count > at.count) {
    ++extraFields_;
    return;
  }
  Reading reading;
  const auto field = [&](int index) { return index < 0 ? std::string_view() : fields[index]; };
  const auto number = [&](int index, auto& value) { return index < 0 || readNumber(fields[index], value); };
  const bool readable =
      parseLocalTime(fields[at.time], reading) && readNumber(fields[at.seeing], reading.seeing) &&
      reading.seeing > 0 && number(at.airmass, reading.airmass) && readOptional(field(at.r0), reading.r0) &&
      number(at.longSigma, reading.longStdDev) && number(at.transSigma, reading.transStdDev) &&
      (at.used < 0 || readCount(field(at.used), reading.exposuresUsed)) &&
      (at.rejected < 0 || readCount(field(at.rejected), reading.exposuresRejected)) &&
      readOptional(field(at.seeingError), reading.seeingError) &&
      readOptional(field(at.best), reading.best) && readOptional(field(at.bestError), reading.bestError) &&
      readOptional(field(at.bestExposure), reading.bestExposure) &&
      readOptional(field(at.wavelength), reading.wavelength) && readOptional(field(at.tau0), reading.tau0) &&
      readOptional(field(at.tau0Error), reading.tau0Error) && readOptional(field(at.wind), reading.wind) &&
      readOptional(field(at.windError), reading.windError);
  if (!readable) {
    ++badValues_;
    return;
  }
  readings_.push_back(reading);
}

std::vector<std::string> ReadingsReader::notes() const {
  std::vector<std::string> notes;
  if (cutShort_ > 0) notes.push_back(rowsText(cutShort_, "cut short (a torn write)"));
  if (badValues_ > 0) notes.push_back(rowsText(badValues_, "with a field that is not a time or a number"));
  if (extraFields_ > 0) notes.push_back(rowsText(extraFields_, "with more fields than the header names"));
  return notes;
}

std::optional<Failure> ReadingsReader::failure() const {
  if (!readings_.empty()) return std::nullopt;
  if (!columns_) return Failure{"it is empty"};
  if (foreign())
    return Failure{
        "it is not a Nebulor readings log (its first line names no local_time and seeing_arcsec columns)"};
  return Failure{"it holds no readable reading"};
}

}  // namespace nebulor
