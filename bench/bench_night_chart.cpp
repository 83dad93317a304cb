#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QSize>
#include <QWidget>
#include <QWindow>
#include <cmath>
#include <cstdio>
#include <string>

#include "display/NightChart.h"
#include "display/NightChartWindow.h"
#include "measure/ReadingsLog.h"

namespace {

constexpr std::time_t kEvening = 1796670000;  // 2026-12-07 20:00 UTC+1

// The n-th reading of a long night: every 2 s, a wavy seeing, some rejections.
nebulor::Reading reading(int n) {
  nebulor::Reading r;
  r.time = nebulor::WallClock::from_time_t(kEvening + 2 * n);
  r.utcOffset = 3600;
  r.airmass = 1.1 + n * 1e-4;
  r.seeing = static_cast<float>(0.8 + 0.3 * std::sin(n / 500.0) + 0.1 * std::sin(n * 1.7));
  r.exposuresUsed = 20;
  r.exposuresRejected = n % 5;
  r.seeingError = 0.1;
  r.best = r.seeing + 0.1;
  r.bestError = 0.12;
  return r;
}

std::string logOf(int readings) {
  std::string text = std::string(nebulor::kReadingsLogHeader) + "\r\n";
  for (int n = 0; n < readings; ++n) text += nebulor::readingsLogRow(reading(n)) + "\r\n";
  return text;
}

std::string tempPath(const char* name) {
  return (QDir::tempPath() + QLatin1Char('/') + QLatin1String(name)).toStdString();
}

void write(const std::string& path, const std::string& text, const char* mode) {
  std::FILE* file = std::fopen(path.c_str(), mode);
  std::fputs(text.c_str(), file);
  std::fclose(file);
}

// A night of 20,000 readings from its log's rows to a 1920 x 1080 PNG file.
void BM_NightToPng(benchmark::State& bench) {
  const std::string log = tempPath("nebulor-bench-night.csv");
  write(log, logOf(20000), "wb");
  const QString png = QString::fromStdString(tempPath("nebulor-bench-night.png"));
  for (auto _ : bench) {
    nebulor::ReadingsReader reader;
    reader.readNew(log);
    const nebulor::NightChart chart(nebulor::selectNight(reader.readings(), ""));
    if (chart.save(png, QSize(1920, 1080), false)) bench.SkipWithError("cannot write the picture");
  }
  std::remove(log.c_str());
  QFile::remove(png);
}
BENCHMARK(BM_NightToPng)->Unit(benchmark::kMillisecond);

// What the open chart window costs per reading while monitoring: the new
// reading taken from the feed, the night and its summary taken again, the
// chart repainted at the window's size; after a night of range(0) readings.
void BM_ChartWindowPerReading(benchmark::State& bench) {
  const int night = static_cast<int>(bench.range(0));
  nebulor::ReadingsFeed feed;
  for (int n = 0; n < night; ++n) feed.publish(reading(n));
  nebulor::NightChartWindow window(feed);
  window.show();
  while (!window.windowHandle()->isExposed())
    QCoreApplication::processEvents();  // else repaint() draws nothing
  auto* view = window.findChild<QWidget*>(QStringLiteral("NightChartView"));
  int n = night;
  for (auto _ : bench) {
    feed.publish(reading(n++));
    window.refresh();
    view->repaint();
  }
}
BENCHMARK(BM_ChartWindowPerReading)->Arg(300)->Arg(5000)->Arg(20000)->Unit(benchmark::kMicrosecond);

}  // namespace
