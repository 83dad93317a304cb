#pragma once

#include <QImage>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "camera/ClickState.h"
#include "camera/FrameViewer.h"

class QPainter;

namespace nebulor::camera {

// The imaging application's image window, for backends that have none of
// their own (the simulator, INDI): the latest image auto-stretched and
// scaled to the window, the clicked points (yellow crosses; red for a
// refused click, until a click is taken) and the measured star images
// (green circles; red when too faint to accept). A press of the left button in the image goes to the
// click state as a press on that image pixel; its release as the release.
// Across the top, the click state's prompt ("Click the first star image")
// and, below it, why the latest click was refused.
class ImageWindow : public QWidget, public FrameViewer {
  Q_OBJECT

 public:
  // `clicks` must outlive the window.
  explicit ImageWindow(ClickState& clicks, QWidget* parent = nullptr);
  ~ImageWindow() override;

  void showFrame(std::shared_ptr<const stars::Frame> frame) override;
  void showCentroid(const stars::Centroid& star) override;

  // Where the centre of an image pixel (or any image position) is drawn,
  // and which image pixel lies under a window position (none off the image).
  QPointF windowPosition(double imageX, double imageY) const;
  std::optional<ClickPoint> pixelAt(QPointF windowPoint) const;

  QSize sizeHint() const override;

  // The night view shows the image in reds and draws every mark in red:
  // clicks and clean star images bright, faint ones dim and dashed.
  void setNightView(bool night);

 signals:
  // The user closed the window (it is hidden, not destroyed: show() brings it back).
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QRectF imageArea() const;  // the image scaled into the window, aspect kept
  void paintGuidance(QPainter& painter, const QColor& promptInk, const QColor& refusalInk);

  ClickState& clicks_;
  QImage image_;  // 8-bit levels; its colour table gives grey by day, red at night
  bool night_ = false;
  std::vector<ClickPoint> clickMarks_;
  std::vector<ClickPoint> refusedMarks_;
  std::vector<stars::Centroid> starMarks_;
};

}  // namespace nebulor::camera
