#include "camera/ImageWindow.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "camera/ImageStretch.h"

namespace nebulor::camera {
namespace {

constexpr double kCrossHalf = 7.0;  // window pixels
constexpr double kCircleRadius = 11.0;

// Each 8-bit level as grey, or as red alone for the night view.
QList<QRgb> levelColours(bool night) {
  QList<QRgb> colours(256);
  for (int level = 0; level < 256; ++level)
    colours[level] = night ? qRgb(level, 0, 0) : qRgb(level, level, level);
  return colours;
}

// The marks' colours: by day yellow clicks and prompt, green clean and red
// faint stars, light red refused clicks and their reason.
struct MarkInks {
  QColor message, click, cleanStar, faintStar, prompt, refused;
};

const MarkInks& markInks(bool night) {
  static const MarkInks day{Qt::gray, Qt::yellow, Qt::green, Qt::red, Qt::yellow, QColor(255, 90, 90)};
  static const MarkInks dark{QColor(110, 0, 0), QColor(255, 0, 0), QColor(255, 0, 0),
                             QColor(150, 0, 0), QColor(255, 0, 0), QColor(190, 0, 0)};
  return night ? dark : day;
}

}  // namespace

ImageWindow::ImageWindow(ClickState& clicks, QWidget* parent) : QWidget(parent), clicks_(clicks) {
  setWindowTitle(tr("Camera image"));
  setMinimumSize(160, 120);
  clicks_.setPressObserver([this](ClickPoint point) {
    clickMarks_.push_back(point);
    refusedMarks_.clear();  // a taken click answers them, as it clears the refusal's reason
    update();
  });
  clicks_.setChangeObserver([this] { update(); });
}

ImageWindow::~ImageWindow() {
  clicks_.setPressObserver({});
  clicks_.setChangeObserver({});
}

QSize ImageWindow::sizeHint() const { return {660, 540}; }

void ImageWindow::showFrame(std::shared_ptr<const stars::Frame> frame) {
  if (!frame || frame->width <= 0 || frame->height <= 0) return;
  const std::vector<std::uint8_t> grey = stretchToGrey(*frame, autoStretchLevels(*frame));
  if (grey.size() < static_cast<std::size_t>(frame->width) * frame->height) return;  // short buffer
  QImage image(frame->width, frame->height, QImage::Format_Indexed8);
  image.setColorTable(levelColours(night_));
  for (int y = 0; y < frame->height; ++y) {
    std::memcpy(image.scanLine(y), grey.data() + static_cast<std::size_t>(y) * frame->width,
                static_cast<std::size_t>(frame->width));
  }
  image_ = std::move(image);
  clickMarks_.clear();
  refusedMarks_.clear();
  starMarks_.clear();
  update();
}

void ImageWindow::showCentroid(const stars::Centroid& star) {
  starMarks_.push_back(star);
  update();
}

void ImageWindow::setNightView(bool night) {
  night_ = night;
  if (!image_.isNull()) image_.setColorTable(levelColours(night));
  update();
}

QRectF ImageWindow::imageArea() const {
  if (image_.isNull()) return {};
  const double scale = std::min(width() / static_cast<double>(image_.width()),
                                height() / static_cast<double>(image_.height()));
  const QSizeF size(image_.width() * scale, image_.height() * scale);
  return {QPointF((width() - size.width()) / 2.0, (height() - size.height()) / 2.0), size};
}

QPointF ImageWindow::windowPosition(double imageX, double imageY) const {
  const QRectF area = imageArea();
  if (area.isEmpty()) return {};
  const double scale = area.width() / image_.width();
  return {area.left() + (imageX + 0.5) * scale, area.top() + (imageY + 0.5) * scale};
}

std::optional<ClickPoint> ImageWindow::pixelAt(QPointF windowPoint) const {
  const QRectF area = imageArea();
  if (area.isEmpty()) return std::nullopt;
  const double scale = area.width() / image_.width();
  const double x = std::floor((windowPoint.x() - area.left()) / scale);
  const double y = std::floor((windowPoint.y() - area.top()) / scale);
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return std::nullopt;
  return ClickPoint{static_cast<std::int16_t>(x), static_cast<std::int16_t>(y)};
}

void ImageWindow::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const MarkInks& inks = markInks(night_);
  painter.fillRect(rect(), Qt::black);
  if (image_.isNull()) {
    painter.setPen(inks.message);
    painter.drawText(rect(), Qt::AlignCenter, tr("No image yet"));
    return;
  }
  const QRectF area = imageArea();
  // Smooth scaling keeps star images of a few pixels visible when shrunk.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, area.width() < image_.width());
  painter.drawImage(area, image_);

  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(inks.click, 1.5));
  for (const ClickPoint& click : clickMarks_) {
    const QPointF at = windowPosition(click.x, click.y);
    painter.drawLine(at - QPointF(kCrossHalf, 0), at + QPointF(kCrossHalf, 0));
    painter.drawLine(at - QPointF(0, kCrossHalf), at + QPointF(0, kCrossHalf));
  }
  painter.setPen(QPen(inks.refused, 1.5));
  for (const ClickPoint& click : refusedMarks_) {
    const QPointF at = windowPosition(click.x, click.y);
    painter.drawLine(at - QPointF(kCrossHalf, kCrossHalf), at + QPointF(kCrossHalf, kCrossHalf));
    painter.drawLine(at - QPointF(kCrossHalf, -kCrossHalf), at + QPointF(kCrossHalf, -kCrossHalf));
  }
  painter.setBrush(Qt::NoBrush);
  for (const stars::Centroid& star : starMarks_) {
    const bool clean = star.clean();
    painter.setPen(
        QPen(clean ? inks.cleanStar : inks.faintStar, 1.5, clean || !night_ ? Qt::SolidLine : Qt::DashLine));
    painter.drawEllipse(windowPosition(star.x, star.y), kCircleRadius, kCircleRadius);
  }
  paintGuidance(painter, inks.prompt, inks.refused);
}

// The step and the latest refusal, on a dark band so they read on any image.
void ImageWindow::paintGuidance(QPainter& painter, const QColor& promptInk, const QColor& refusalInk) {
  const QString prompt = QString::fromStdString(clicks_.prompt());
  const QString refusal = QString::fromStdString(clicks_.refusal());
  if (prompt.isEmpty() && refusal.isEmpty()) return;
  const int lineHeight = painter.fontMetrics().height() + 4;
  const int lines = (prompt.isEmpty() ? 0 : 1) + (refusal.isEmpty() ? 0 : 1);
  painter.fillRect(QRect(0, 0, width(), lines * lineHeight + 4), QColor(0, 0, 0, 180));
  int top = 2;
  if (!prompt.isEmpty()) {
    painter.setPen(promptInk);
    painter.drawText(QRect(6, top, width() - 12, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, prompt);
    top += lineHeight;
  }
  if (!refusal.isEmpty()) {
    painter.setPen(refusalInk);
    painter.drawText(QRect(6, top, width() - 12, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, refusal);
  }
}

void ImageWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  emit closed();
}

void ImageWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const auto pixel = pixelAt(event->position());
  if (pixel && !clicks_.press(*pixel)) {
    refusedMarks_.push_back(*pixel);
    update();
  }
}

void ImageWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) clicks_.release();
}

}  // namespace nebulor::camera
