#pragma once

#include <QFrame>
#include <QImage>
#include <optional>

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

  // The night view draws the frame, ticks and labels in a dim red instead of
  // black, on the night palette's button colour; the curve stays red. The
  // last model is redrawn at once.
  void setNightView(bool night);

  // The drawing area as last drawn, in device pixels of the plot.
  const QImage& image() const { return image_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;  // a new palette: drawn again on its background

 private:
  void clearImage();
  void draw();

  QImage image_;
  std::optional<ResultsModel> model_;  // none before the first refresh
  bool night_ = false;
};

}  // namespace nebulor
