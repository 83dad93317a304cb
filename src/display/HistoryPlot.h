#pragma once

#include <QFrame>
#include <QImage>

#include "display/ResultsDisplay.h"

namespace nebulor {

// The seeing-history surface (PictureFWHM): a sunken frame whose drawing
// area shows the plot of the last refresh. The plot is drawn once per
// refresh into a kept image, and every paint event copies that image, so
// the plot survives the window being covered and uncovered.
class HistoryPlot : public QFrame {
  Q_OBJECT

 public:
  explicit HistoryPlot(QWidget* parent = nullptr);

  // Erases the surface and draws the model's frame, labels, ticks and curve.
  void showModel(const ResultsModel& model);

  // The drawing area as last drawn, in device pixels of the plot.
  const QImage& image() const { return image_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void clearImage();

  QImage image_;
};

}  // namespace nebulor
