#pragma once

#include <QWidget>
#include <ctime>
#include <optional>
#include <string>

#include "display/NightChart.h"
#include "measure/ReadingsReader.h"

class QLabel;

namespace nebulor {

// The chart of the most recent night in a readings log, in a resizable
// window of its own, with the night's summary under it and a "Save picture"
// button (PNG or SVG). It grows as refresh() finds rows appended to the log;
// the summary follows once per minute of readings.
class NightChartWindow : public QWidget {
 public:
  explicit NightChartWindow(std::string readingsPath, QWidget* parent = nullptr);

  // Reads what was appended to the log since the last call and shows it.
  void refresh();
  void setNightView(bool night);

  const NightChart& chart() const { return chart_; }
  QString summaryText() const;

 private:
  void savePicture();

  std::string path_;
  ReadingsReader reader_;
  std::size_t shown_ = 0;  // readings of the log taken into the chart
  NightChart chart_;
  std::optional<std::time_t> summarized_;  // the latest reading when the summary was last worked out
  bool night_ = false;
  QWidget* view_;
  QLabel* summary_;
};

}  // namespace nebulor
