#pragma once

#include "core/ReadingsFeed.h"
#include "publish/WebExchange.h"

namespace nebulor {

// The live page at "/" for any browser on the observatory's network: the
// latest reading, the state and the night's chart. It loads nothing from
// elsewhere (observatories have no internet) and fetches kLiveStatusPath
// and kLiveChartPath every 10 s, redrawing in place. A browser that prefers dark gets the red
// night palette.
inline constexpr const char* kLiveStatusPath = "/status.json";
WebAnswer livePage();

// The page's picture of the night, the night chart as PNG.
inline constexpr const char* kLiveChartPath = "/chart.png";

// The status the page shows, as JSON: state, latest reading.
WebAnswer liveStatus(const FeedSnapshot& feed, WallClock::time_point now);

// The Alpaca setup page: nothing to set, a link to the live page.
WebAnswer setupPage();

// "clouds: no reading for N minutes" while monitoring, once no reading has
// come for three times the last interval between readings (at least
// kCloudsAfter); before the second reading of the run, after kCloudsAfter.
inline constexpr std::chrono::minutes kCloudsAfter{3};
QString stateText(const FeedSnapshot& feed, WallClock::time_point now);

}  // namespace nebulor
