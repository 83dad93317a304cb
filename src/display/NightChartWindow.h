#pragma once

#include <QWidget>
#include <cstdint>
#include <ctime>
#include <optional>

#include "core/ReadingsFeed.h"
#include "display/NightChart.h"

class QLabel;

namespace nebulor {

// The chart of the most recent night in the feed (which holds the night's
// readings from the log and those since), in a resizable window of its own,
// with the night's summary under it and a "Save picture" button (PNG or
// SVG). It grows as refresh() finds readings published since; the summary
// follows once per minute of readings.
class NightChartWindow : public QWidget {
 public:
  explicit NightChartWindow(const ReadingsFeed& feed, QWidget* parent = nullptr);

  // Takes the readings published since the last call and shows them.
  void refresh();
  void setNightView(bool night);

  const NightChart& chart() const { return chart_; }
  QString summaryText() const;

 private:
  void savePicture();

  const ReadingsFeed& feed_;
  std::uint64_t shown_ = 0;  // readings of the feed taken into the chart
  NightChart chart_;
  std::optional<std::time_t> summarized_;  // the latest reading when the summary was last worked out
  bool night_ = false;
  QWidget* view_;
  QLabel* summary_;
};

}  // namespace nebulor
