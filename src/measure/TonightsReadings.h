#pragma once

#include <string>
#include <vector>

#include "core/ReadingsFeed.h"

namespace nebulor {

// Starts the feed with the readings of the night under way (noon to noon,
// local time) from the readings log of a data folder, read as --chart reads
// it, so that everything that follows the feed shows the whole night across
// restarts. A log that is missing or holds no reading seeds nothing quietly;
// one that cannot be read, is not a readings log or has torn rows gives one
// line each, and whatever could be read. Rows of a log from before its
// wavelength column take `wavelength` (micrometres), the configured one.
std::vector<std::string> seedWithTonight(ReadingsFeed& feed, const std::string& folder, double wavelength,
                                         WallClock::time_point now = WallClock::now());

}  // namespace nebulor
