#include "publish/LiveChart.h"

#include <QBuffer>
#include <QDateTime>
#include <QImage>
#include <QPainter>
#include <vector>

#include "display/NightChart.h"
#include "measure/Night.h"

namespace nebulor {

namespace {

LoggedReading logged(const PublishedReading& published) {
  LoggedReading reading;
  reading.time = WallClock::to_time_t(published.time);
  reading.utcOffset = QDateTime::fromSecsSinceEpoch(reading.time).offsetFromUtc();
  reading.airmass = published.airmass;
  reading.seeing = published.seeing;
  reading.best = published.best;
  reading.bestError = published.bestError;
  reading.exposuresUsed = published.exposuresUsed;
  reading.exposuresRejected = published.exposuresRejected;
  return reading;
}

QByteArray drawPng(const FeedSnapshot& feed, bool nightPalette) {
  std::vector<LoggedReading> readings;
  readings.reserve(feed.readings.size());
  for (const PublishedReading& published : feed.readings) readings.push_back(logged(published));
  const NightChart chart(selectNight(readings, {}), true);
  QImage image(kLiveChartWidth, kLiveChartHeight, QImage::Format_RGB32);
  QPainter painter(&image);
  chart.paint(painter, image.rect(), nightPalette);
  painter.end();
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return png;
}

}  // namespace

QByteArray LiveChart::png(const FeedSnapshot& feed, bool nightPalette) {
  Drawn& drawn = drawn_[nightPalette ? 1 : 0];
  const WallClock::time_point latest =
      feed.readings.empty() ? WallClock::time_point{} : feed.readings.back().time;
  if (drawn.png.isEmpty() || drawn.readings != feed.readings.size() || drawn.latest != latest) {
    drawn = {feed.readings.size(), latest, drawPng(feed, nightPalette)};
  }
  return drawn.png;
}

}  // namespace nebulor
