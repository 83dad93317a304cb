#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Config.h"
#include "core/Failure.h"

namespace nebulor {

inline constexpr const char* kConfigFileName = "config.ini";

// The text config.ini holds for these values: seven "key,value" lines, each
// ending in CR LF, reals with up to 7 significant digits and a full stop.
std::string configText(const Config& config);

// Reads config.ini text over the defaults, line by line (CR LF, LF or CR;
// the last line end may be missing). Keys are case-sensitive and a later
// line wins; an empty value is 0; samplesPerReading is rounded half to even.
// A value that is no number or that the measurement cannot use (not finite,
// holeDistance, holeDiameter, wavelength or an exposure not above 0,
// samplesPerReading outside 1..200) leaves the value as it was (the default, unless an earlier
// line set it) and adds one warning naming the line, the key, the text found
// and the value kept. Blank lines, unknown keys and lines without exactly two
// fields are skipped silently; blanks round a field are ignored. A hole
// distance not larger than the hole diameter puts both back to their
// defaults, with one warning. At most 20 warnings are listed, then one
// saying how many more there were.
struct ConfigParse {
  Config config;
  std::vector<std::string> warnings;
};
ConfigParse parseConfigText(std::string_view text);

// Loads folder + "config.ini" (defaults when it is missing or is a folder)
// into config and returns the warnings for the user. A file that cannot be
// read or is no regular file (a FIFO, a device) gives the defaults and one
// warning, without waiting. Only the first 64 KiB are read; beyond them one
// warning, and what was not read keeps its default.
std::vector<std::string> LoadConfig(Config& config, const std::string& folder);

// Rewrites folder + "config.ini" whole and atomically (a new file beside it,
// created afresh, flushed to the disk, then renamed over it; a config.ini
// that is a link is replaced, its target left alone). A config.ini that may not be
// written is left alone. Refuses when the
// values were never loaded (they are the zeros of a failed start-up), so an
// existing file is never overwritten with them. Returns std::nullopt on
// success, otherwise the reason, and the old file is left as it was.
std::optional<Failure> SaveConfig(const Config& config, bool configLoaded, const std::string& folder);

}  // namespace nebulor
