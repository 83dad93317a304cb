#include "publish/LiveChart.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

#include "display/NightChart.h"
#include "measure/Night.h"

namespace nebulor {

namespace {

QByteArray drawPng(const FeedSnapshot& feed, bool nightPalette, const LiveChartSize& size) {
  const NightChart chart(selectNight(feed.readings, {}), true);
  QImage image(size.pixels(), QImage::Format_RGB32);
  image.setDevicePixelRatio(size.scale);  // the chart lays itself out in CSS pixels
  QPainter painter(&image);
  chart.paint(painter, QRect(0, 0, size.width, size.height()), nightPalette);
  painter.end();
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return png;
}

double number(const std::optional<QString>& text, double otherwise) {
  bool ok = false;
  const double value = text ? text->toDouble(&ok) : 0;
  return ok && std::isfinite(value) ? value : otherwise;
}

}  // namespace

int LiveChartSize::height() const {
  // 16:9 as the night chart is drawn; taller on a phone, where 16:9 leaves the plot too flat to read.
  return std::max(width * 9 / 16, std::min(width * 3 / 4, 360));
}

QSize LiveChartSize::pixels() const {
  return {static_cast<int>(std::lround(width * scale)), static_cast<int>(std::lround(height() * scale))};
}

LiveChartSize liveChartSize(const std::optional<QString>& width, const std::optional<QString>& scale) {
  LiveChartSize size;
  size.width = static_cast<int>(std::clamp(std::round(number(width, size.width)), double(kLiveChartMinWidth),
                                           double(kLiveChartMaxWidth)));
  // In halves: screens come in few ratios, and each one asked for is a picture to draw.
  const double largest = std::clamp(std::floor(2.0 * kLiveChartMaxPixelWidth / size.width) / 2, 1.0, 3.0);
  size.scale = std::clamp(std::round(2 * number(scale, size.scale)) / 2, 1.0, largest);
  return size;
}

QByteArray LiveChart::png(const FeedSnapshot& feed, bool nightPalette, const LiveChartSize& size) {
  const WallClock::time_point latest =
      feed.readings.empty() ? WallClock::time_point{} : feed.readings.back().time;
  const auto same = [&](const Drawn& drawn) {
    return drawn.nightPalette == nightPalette && drawn.size == size;
  };
  auto found = std::find_if(drawn_.begin(), drawn_.end(), same);
  Drawn drawn = found == drawn_.end() ? Drawn{} : std::move(*found);
  if (found != drawn_.end()) drawn_.erase(found);
  if (drawn.png.isEmpty() || drawn.readings != feed.readings.size() || drawn.latest != latest) {
    drawn = {feed.readings.size(), latest, nightPalette, size, drawPng(feed, nightPalette, size)};
  }
  if (drawn_.size() == kKept) drawn_.erase(drawn_.begin());
  drawn_.push_back(std::move(drawn));
  return drawn_.back().png;
}

}  // namespace nebulor
