#include "display/HistoryPlot.h"

#include <QEvent>
#include <QPainter>

namespace nebulor {

namespace {

// One-pixel lines from point to point, both end points included.
void drawSegment(QPainter& painter, PlotPoint from, PlotPoint to) {
  painter.drawLine(QPoint(from.x, from.y), QPoint(to.x, to.y));
}

}  // namespace

HistoryPlot::HistoryPlot(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
  setFixedSize(249, 81);
  clearImage();
}

void HistoryPlot::clearImage() {
  image_ = QImage(contentsRect().size(), QImage::Format_RGB32);
  image_.fill(palette().color(QPalette::Button));
}

void HistoryPlot::showModel(const ResultsModel& model) {
  model_ = model;
  draw();
}

void HistoryPlot::setNightView(bool night) {
  night_ = night;
  draw();
}

void HistoryPlot::draw() {
  clearImage();
  if (!model_) {
    update();
    return;
  }
  const ResultsModel& model = *model_;
  QPainter painter(&image_);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setFont(font());

  // Black by day; at night a dim red, leaving the curve the brightest line.
  const QColor ink = night_ ? QColor(140, 0, 0) : QColor(Qt::black);
  painter.setPen(QPen(ink, 1, Qt::SolidLine, Qt::SquareCap));
  for (const PlotLine& line : model.frame) drawSegment(painter, line.from, line.to);

  // Top-left corner of each text at its point, no background box.
  const int ascent = painter.fontMetrics().ascent();
  for (const PlotLabel& label : model.labels) {
    painter.drawText(QPoint(label.topLeft.x, label.topLeft.y + ascent), QString::fromStdString(label.text));
  }

  for (const PlotTick& tick : model.ticks) {
    drawSegment(painter, {kPlotLeftAxis - tick.length, tick.row}, {kPlotLeftAxis, tick.row});
    drawSegment(painter, {kPlotRightAxis, tick.row}, {kPlotRightAxis + tick.length, tick.row});
  }

  painter.setPen(QPen(QColor(255, 0, 0), 1, Qt::SolidLine, Qt::SquareCap));
  for (std::size_t i = 1; i < model.curve.size(); ++i)
    drawSegment(painter, model.curve[i - 1], model.curve[i]);
  painter.end();
  update();
}

void HistoryPlot::changeEvent(QEvent* event) {
  QFrame::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) draw();
}

void HistoryPlot::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  painter.drawImage(contentsRect().topLeft(), image_);
}

}  // namespace nebulor
