#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <cstddef>
#include <optional>
#include <vector>

#include "core/ReadingsFeed.h"

namespace nebulor {

// The size of the live page's picture: `width` x `height` in CSS pixels,
// drawn at `scale` device pixels each, so that its text reads at the size
// the chart gives it on any screen.
struct LiveChartSize {
  int width = 960;
  double scale = 1;

  int height() const;
  QSize pixels() const;
  bool operator==(const LiveChartSize&) const = default;
};

inline constexpr int kLiveChartMinWidth = 320;
inline constexpr int kLiveChartMaxWidth = 1280;
inline constexpr int kLiveChartMaxPixelWidth = 2560;  // bounds the memory of one picture

// The size a page asks for with "width" (CSS pixels) and "scale" (the
// browser's devicePixelRatio), brought within bounds; the default for
// whatever is missing or not a number.
LiveChartSize liveChartSize(const std::optional<QString>& width, const std::optional<QString>& scale);

// The live page's picture of the night so far: the night chart of the
// readings published since the night began, as PNG. A picture is drawn once
// for each new reading, palette and size, however many browsers ask for it.
class LiveChart {
 public:
  QByteArray png(const FeedSnapshot& feed, bool nightPalette, const LiveChartSize& size);

 private:
  struct Drawn {
    std::size_t readings = 0;
    WallClock::time_point latest;
    bool nightPalette = false;
    LiveChartSize size;
    QByteArray png;
  };
  static constexpr std::size_t kKept = 4;  // a phone and a desktop, by day and by night
  std::vector<Drawn> drawn_;               // the latest asked for last
};

}  // namespace nebulor
