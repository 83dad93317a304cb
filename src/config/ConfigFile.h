#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/Config.h"

namespace nebulor {

inline constexpr const char* kConfigFileName = "config.ini";

// The text config.ini holds for these values: seven "key,value" lines, each
// ending in CR LF, reals with up to 7 significant digits and a full stop.
std::string configText(const Config& config);

// Reads config.ini text over the defaults. A value that is no number or that
// the measurement cannot use keeps its default and adds one warning
// (key, text found, value kept); other odd lines are skipped silently.
struct ConfigParse {
  Config config;
  std::vector<std::string> warnings;
};
ConfigParse parseConfigText(std::string_view text);

// Loads folder + "config.ini" (defaults when it is missing) into config and
// returns the warnings for the user.
std::vector<std::string> LoadConfig(Config& config, const std::string& folder);

// Rewrites folder + "config.ini" whole and atomically. Refuses when the
// values were never loaded (they are the zeros of a failed start-up), so an
// existing file is never overwritten with them. Returns std::nullopt on
// success, otherwise the reason, and the old file is left as it was.
std::optional<std::string> SaveConfig(const Config& config, bool configLoaded, const std::string& folder);

}  // namespace nebulor
