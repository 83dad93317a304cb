#pragma once

#include <QFrame>
#include <QImage>

#include "display/ResultsDisplay.h"

namespace nebulor {

// The seeing-history surface (PictureFWHM): 249 x 81 pixels, a two-pixel
// sunken frame round a 245 x 77 drawing area showing the last refresh. The
// plot is drawn once per refresh into a kept image, and every paint event
// copies that image, so it survives the window being covered and uncovered.
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

 private:
  void clearImage();

  QImage image_;
};

}  // namespace nebulor
