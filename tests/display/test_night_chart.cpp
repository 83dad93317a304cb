#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWindow>
#include <cmath>

#include "display/NightChart.h"
#include "display/NightChartWindow.h"

namespace nebulor {
namespace {

// 20:00 to 01:00 UTC+1, a reading a minute, none from 22:00 to 22:40 (clouds).
Night syntheticNight() {
  Night night{"2026-12-07", {}};
  const std::time_t start = 1796670000;  // 2026-12-07 20:00 local
  for (int minute = 0; minute <= 300; ++minute) {
    if (minute > 120 && minute < 160) continue;
    Reading r;
    r.time = WallClock::from_time_t(start + minute * 60);
    r.utcOffset = 3600;
    r.airmass = 1.12 + minute / 400.0;
    r.best = 0.9 + 0.3 * std::sin(minute / 20.0);
    r.bestError = 0.1;
    r.seeing = *r.best - 0.1;
    r.exposuresUsed = 20;
    r.exposuresRejected = minute % 7;
    night.readings.push_back(r);
  }
  return night;
}

QImage render(const NightChart& chart, QSize size, bool nightPalette) {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  chart.paint(painter, image.rect(), nightPalette);
  return image;
}

// At every size the picture keeps its frame: nothing drawn in the margin
// (text cut at an edge would reach it), the readings broken by the gap,
// and the night palette without any green or blue.
TEST(NightChart, KeepsItsLayoutAtEverySizeAndLeavesTheGapEmpty) {
  int argc = 0;
  QApplication app(argc, nullptr);
  const NightChart chart(syntheticNight());
  for (const QSize size : {QSize(640, 360), QSize(1024, 600), QSize(1280, 720), QSize(1920, 1080)}) {
    for (const bool night : {false, true}) {
      SCOPED_TRACE(
          QStringLiteral("%1x%2 night %3").arg(size.width()).arg(size.height()).arg(night).toStdString());
      const QImage image = render(chart, size, night);
      const QRgb background = image.pixel(0, 0);
      EXPECT_EQ(background, night ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
      int marginInk = 0;
      int greenOrBlue = 0;
      std::vector<int> inkInColumn(size.width(), 0);
      for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
          const QRgb pixel = image.pixel(x, y);
          if (pixel != background && (x < 3 || y < 3 || x >= size.width() - 3 || y >= size.height() - 3))
            ++marginInk;
          if (qGreen(pixel) != 0 || qBlue(pixel) != 0) ++greenOrBlue;
          // The median line's own red, below the legend's sample of it.
          const bool median =
              night ? qRed(pixel) > 250 : qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
          if (median && y > size.height() / 8) ++inkInColumn[x];
        }
      }
      EXPECT_EQ(marginInk, 0);
      if (night) {
        EXPECT_EQ(greenOrBlue, 0);
      }
      // Runs of columns with the median line: before and after the gap.
      std::vector<std::pair<int, int>> runs;
      for (int x = 0; x < size.width(); ++x) {
        if (inkInColumn[x] == 0) continue;
        if (runs.empty() || x > runs.back().second + 3) runs.emplace_back(x, x);
        runs.back().second = x;
      }
      ASSERT_EQ(runs.size(), 2u);
      const double gapShare = double(runs[1].first - runs[0].second) / double(runs[1].second - runs[0].first);
      EXPECT_NEAR(gapShare, 40.0 / 300, 0.02);
    }
  }
}

// The open window follows the feed as it grows: each reading is drawn on
// the kept picture, which then shows what a fresh drawing of the night
// shows; a reading of a later night starts that night's chart.
TEST(NightChartWindow, GrowsWithTheFeedAndShowsWhatAFreshDrawingShows) {
  int argc = 0;
  QApplication app(argc, nullptr);
  ReadingsFeed feed;
  NightChartWindow window(feed);
  window.resize(900, 600);
  window.show();
  while (!window.windowHandle()->isExposed())
    QCoreApplication::processEvents();  // else repaint() draws nothing
  auto* view = window.findChild<QWidget*>(QStringLiteral("NightChartView"));
  const Night night = syntheticNight();
  for (std::size_t i = 0; i < night.readings.size(); i += 5) {
    for (std::size_t j = i; j < std::min(i + 5, night.readings.size()); ++j) feed.publish(night.readings[j]);
    window.refresh();
    view->repaint();
  }
  ASSERT_EQ(window.chart().night().readings.size(), night.readings.size());
  const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage fresh = render(window.chart(), view->size(), false);
  int differing = 0;
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) differing += shown.pixel(x, y) != fresh.pixel(x, y);
  }
  EXPECT_LT(differing, shown.width() * shown.height() / 5000) << "the picture drawn reading by reading";
  EXPECT_TRUE(window.summaryText().startsWith(QStringLiteral("%1 readings").arg(night.readings.size())));

  Reading later = night.readings.front();
  later.time += std::chrono::hours(48);
  feed.publish(later);
  window.refresh();
  EXPECT_EQ(window.chart().night().date, "2026-12-09");
  EXPECT_EQ(window.chart().night().readings.size(), 1u);
}

}  // namespace
}  // namespace nebulor
