#pragma once

#include <QWidget>
#include <string>

#include "display/NightChart.h"
#include "measure/ReadingsReader.h"

class QLabel;

namespace nebulor {

// The chart of the most recent night in a readings log, in a resizable
// window of its own, with the night's summary under it and a "Save picture"
// button (PNG or SVG). It grows as refresh() finds rows appended to the log.
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
  std::size_t shown_ = 0;  // readings in the chart
  NightChart chart_;
  bool night_ = false;
  QWidget* view_;
  QLabel* summary_;
};

}  // namespace nebulor
