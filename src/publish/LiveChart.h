#pragma once

#include <QByteArray>
#include <cstddef>

#include "core/ReadingsFeed.h"

namespace nebulor {

// The live page's picture of the night so far: the night chart of the
// readings published since the night began, as a PNG of kLiveChartWidth x
// kLiveChartHeight. A picture is drawn once for each new reading and
// palette, however many browsers ask for it.
inline constexpr int kLiveChartWidth = 960;
inline constexpr int kLiveChartHeight = 540;

class LiveChart {
 public:
  QByteArray png(const FeedSnapshot& feed, bool nightPalette);

 private:
  struct Drawn {
    std::size_t readings = 0;
    WallClock::time_point latest;
    QByteArray png;
  };
  Drawn drawn_[2];  // day, night
};

}  // namespace nebulor
