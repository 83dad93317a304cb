#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/ProgramProcess.h"
#include "support/TempFolder.h"

namespace nebulor::testing {

inline constexpr const char* kChromium = "/usr/bin/chromium";

// Headless Chromium's DOM of `url` once `virtualMilliseconds` of page time
// have passed, with a profile of its own in `temp`; it dies with the test.
inline std::string chromiumDom(const std::string& url, int virtualMilliseconds, const TempFolder& temp,
                               const std::vector<std::string>& more = {}) {
  std::vector<std::string> args = {"--headless",
                                   "--no-sandbox",
                                   "--disable-gpu",
                                   "--disable-quic",
                                   "--no-first-run",
                                   "--disable-background-networking",
                                   "--disable-component-update",
                                   "--disable-sync",
                                   "--user-data-dir=" + temp.file("profile"),
                                   "--virtual-time-budget=" + std::to_string(virtualMilliseconds)};
  args.insert(args.end(), more.begin(), more.end());
  args.insert(args.end(), {"--dump-dom", url});
  ProgramProcess chromium(kChromium, temp.path(), args);
  chromium.wait(std::chrono::minutes(1));
  return chromium.output();
}

}  // namespace nebulor::testing
