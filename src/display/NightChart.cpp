#include "display/NightChart.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>

#include "core/NumberText.h"
#include "measure/NightSummary.h"
#include "measure/RunningMedian.h"

namespace nebulor {

namespace {

constexpr std::time_t kMedianHalfWindow = 5 * 60;

struct Colours {
  QColor background, text, grid, axis, best, errorBar, classical, median, rejected, airmass;
};

Colours coloursFor(bool night) {
  const auto red = [](int level) { return QColor(level, 0, 0); };
  if (night) {
    return {red(0), red(200), red(45), red(120), red(190), red(105), red(90), red(255), red(170), red(150)};
  }
  return {Qt::white,           QColor(30, 30, 30),    QColor(225, 225, 225), QColor(110, 110, 110),
          QColor(20, 60, 170), QColor(130, 150, 210), QColor(165, 165, 165), QColor(215, 40, 20),
          QColor(235, 130, 0), QColor(90, 90, 90)};
}

// Seconds east of UTC in force at a moment: that of the last reading at or before it.
int offsetAt(const std::vector<LoggedReading>& readings, std::time_t time) {
  const auto after = std::upper_bound(readings.begin(), readings.end(), time,
                                      [](std::time_t t, const LoggedReading& r) { return t < r.time; });
  return after == readings.begin() ? readings.front().utcOffset : std::prev(after)->utcOffset;
}

QString offsetText(int offset) {
  const int minutes = std::abs(offset) / 60;
  return QStringLiteral("UTC%1%2:%3")
      .arg(offset < 0 ? '-' : '+')
      .arg(minutes / 60, 2, 10, QLatin1Char('0'))
      .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

// A step of 1, 2 or 5 times a power of ten giving at most maxTicks ticks up to top.
double tickStep(double top, double maxTicks) {
  for (double power = 0.1;; power *= 10) {
    for (const double factor : {1.0, 2.0, 5.0}) {
      if (top / (factor * power) <= maxTicks) return factor * power;
    }
  }
}

// Where things go in a picture of a given size.
struct Layout {
  double font = 10;  // pixels
  QRectF title, legend, plot, band, strip;
  double tickLength = 4;
};

class Painter {
 public:
  Painter(QPainter& painter, const QRect& area, const Night& night, const std::vector<double>& medians,
          bool nightPalette)
      : p_(painter), area_(area), night_(night), medians_(medians), colours_(coloursFor(nightPalette)) {}

  void paint();

 private:
  Layout layout(const QFontMetricsF& metrics) const;
  double x(std::time_t time) const {
    return plot_.left() + (double(time - start_) / double(end_ - start_)) * plot_.width();
  }
  double y(double seeing) const { return plot_.bottom() - std::min(seeing / top_, 1.0) * plot_.height(); }
  void drawTitleAndLegend(const Layout& at, const QFontMetricsF& metrics);
  void drawAxes(const QFontMetricsF& metrics);
  void drawReadings();
  void drawRejectedBand(const QRectF& band);
  void drawAirmass(const QRectF& strip, const QFontMetricsF& metrics);
  void label(const QRectF& box, int flags, const QString& text, const QColor& colour);

  QPainter& p_;
  QRect area_;
  const Night& night_;
  const std::vector<double>& medians_;
  Colours colours_;
  QRectF plot_;
  std::time_t start_ = 0, end_ = 1;
  double top_ = 1;
  double pointSize_ = 3;
};

void Painter::label(const QRectF& box, int flags, const QString& text, const QColor& colour) {
  p_.setPen(colour);
  p_.drawText(box, flags, text);
}

Layout Painter::layout(const QFontMetricsF& metrics) const {
  Layout at;
  at.font = metrics.height();
  const double pad = std::round(at.font * 0.6);
  const double line = metrics.height();
  const QRectF inner = QRectF(area_).adjusted(pad, pad, -pad, -pad);
  at.title = QRectF(inner.left(), inner.top(), inner.width(), line);
  const double yLabels = metrics.horizontalAdvance(QStringLiteral("00.0")) + pad;
  const double stripHeight = std::max(2.4 * line, inner.height() * 0.12);
  const double bottom = inner.bottom() - line - pad * 0.5;  // x tick labels below
  at.strip = QRectF(inner.left() + yLabels, bottom - stripHeight, inner.width() - yLabels - pad, stripHeight);
  const double plotTop = at.title.bottom() + line * 1.6;  // room for the legend line
  at.legend = QRectF(at.strip.left(), at.title.bottom() + line * 0.2, at.strip.width(), line);
  at.plot = QRectF(at.strip.left(), plotTop, at.strip.width(), at.strip.top() - pad - plotTop);
  at.band = QRectF(at.plot.left(), at.plot.bottom() - std::max(3.0, line / 3), at.plot.width(),
                   std::max(3.0, line / 3));
  at.tickLength = std::max(3.0, line / 4);
  return at;
}

void Painter::paint() {
  p_.save();
  p_.fillRect(area_, colours_.background);
  QFont font = p_.font();
  font.setPixelSize(
      std::clamp(static_cast<int>(std::min(area_.height() / 34.0, area_.width() / 60.0)), 10, 22));
  p_.setFont(font);
  const QFontMetricsF metrics(font, p_.device());
  const Layout at = layout(metrics);
  plot_ = at.plot;
  pointSize_ = std::clamp(at.font / 5, 2.0, 4.5);

  const auto& readings = night_.readings;
  if (!readings.empty()) {
    const std::time_t span = readings.back().time - readings.front().time;
    const std::time_t margin = std::max<std::time_t>(120, span / 50);
    start_ = readings.front().time - margin;
    end_ = readings.back().time + margin;
    std::vector<double> highs;
    for (const LoggedReading& r : readings)
      highs.push_back(std::max(r.seeing, r.best.value_or(0) + r.bestError.value_or(0)));
    std::sort(highs.begin(), highs.end());
    top_ = std::max(1.0, highs[static_cast<std::size_t>(0.99 * double(highs.size() - 1))] * 1.1);
  }
  const double step = tickStep(top_, std::max(2.0, plot_.height() / (2.2 * at.font)));
  top_ = std::ceil(top_ / step - 1e-9) * step;

  drawTitleAndLegend(at, metrics);
  p_.setPen(QPen(colours_.grid, 1));
  for (double v = step; v < top_ + step / 2; v += step)
    p_.drawLine(QPointF(plot_.left(), y(v)), QPointF(plot_.right(), y(v)));
  for (double v = 0; v < top_ + step / 2; v += step) {
    const QRectF box(area_.left(), y(v) - at.font / 2, plot_.left() - at.tickLength - 2 - area_.left(),
                     at.font);
    label(box, Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(fixedText(v, step < 1 ? 1 : 0)),
          colours_.text);
  }
  if (readings.empty()) {
    label(plot_, Qt::AlignCenter, QStringLiteral("No readings yet"), colours_.text);
  } else {
    drawAxes(metrics);
    drawRejectedBand(at.band);
    drawAirmass(at.strip, metrics);
    drawReadings();
  }
  p_.setPen(QPen(colours_.axis, 1));
  p_.setBrush(Qt::NoBrush);
  p_.drawRect(plot_);
  p_.restore();
}

void Painter::drawTitleAndLegend(const Layout& at, const QFontMetricsF& metrics) {
  QString title = QStringLiteral("Seeing (arcsec), night of %1").arg(QString::fromStdString(night_.date));
  if (!night_.readings.empty()) {
    const int first = night_.readings.front().utcOffset, last = night_.readings.back().utcOffset;
    title += QStringLiteral(", local time %1").arg(offsetText(first));
    if (last != first) title += QStringLiteral(" then %1").arg(offsetText(last));
  }
  label(at.title, Qt::AlignLeft | Qt::AlignVCenter, title, colours_.text);

  // Legend: a sample of each mark, then its name.
  const double mark = metrics.height();
  double left = at.legend.left();
  const double middle = at.legend.center().y();
  const auto name = [&](const QString& text) {
    const double width = metrics.horizontalAdvance(text);
    label(QRectF(left, at.legend.top(), width + 1, at.legend.height()), Qt::AlignLeft | Qt::AlignVCenter,
          text, colours_.text);
    left += width + mark;
  };
  p_.setPen(QPen(colours_.errorBar, 1));
  p_.drawLine(QPointF(left + mark / 2, middle - mark / 3), QPointF(left + mark / 2, middle + mark / 3));
  p_.setPen(QPen(colours_.best, pointSize_ * 1.4, Qt::SolidLine, Qt::RoundCap));
  p_.drawPoint(QPointF(left + mark / 2, middle));
  left += mark * 1.2;
  name(QStringLiteral("best estimate, 1 sigma"));
  p_.setPen(QPen(colours_.classical, pointSize_, Qt::SolidLine, Qt::RoundCap));
  p_.drawPoint(QPointF(left + mark / 2, middle));
  left += mark * 1.2;
  name(QStringLiteral("classical"));
  p_.setPen(QPen(colours_.median, 2));
  p_.drawLine(QPointF(left, middle), QPointF(left + mark, middle));
  left += mark * 1.4;
  name(QStringLiteral("10 min median"));
  p_.fillRect(QRectF(left, middle - mark / 6, mark, mark / 3), colours_.rejected);
  left += mark * 1.4;
  name(QStringLiteral("rejected"));
}

void Painter::drawAxes(const QFontMetricsF& metrics) {
  const double labelWidth = metrics.horizontalAdvance(QStringLiteral("00:00"));
  const std::time_t steps[] = {600, 900, 1800, 3600, 7200, 10800, 14400, 21600};
  std::time_t step = steps[std::size(steps) - 1];
  for (const std::time_t candidate : steps) {
    if (double(candidate) / double(end_ - start_) * plot_.width() >= labelWidth * 1.8) {
      step = candidate;
      break;
    }
  }
  const double bottom = area_.bottom() - std::round(metrics.height() * 0.6) + 1;
  // Ticks at whole steps of local time, in the offset of the readings around them.
  for (std::time_t t = start_ - start_ % 900; t <= end_; t += 900) {
    if (t < start_) continue;
    LoggedReading moment;
    moment.time = t;
    moment.utcOffset = offsetAt(night_.readings, t);
    const std::time_t local = t + moment.utcOffset;
    if (((local % step) + step) % step != 0) continue;
    const double at = x(t);
    p_.setPen(QPen(colours_.grid, 1));
    p_.drawLine(QPointF(at, plot_.top()), QPointF(at, plot_.bottom()));
    p_.setPen(QPen(colours_.axis, 1));
    p_.drawLine(QPointF(at, plot_.bottom()),
                QPointF(at, plot_.bottom() + std::max(3.0, metrics.height() / 4)));
    const QRectF box(at - labelWidth, bottom - metrics.height(), labelWidth * 2, metrics.height());
    label(box, Qt::AlignHCenter | Qt::AlignBottom, QString::fromStdString(clockText(moment)), colours_.text);
  }
}

void Painter::drawReadings() {
  std::vector<QLineF> bars;
  std::vector<QPointF> best;
  std::vector<QPointF> classical;
  for (const LoggedReading& r : night_.readings) {
    const double at = x(r.time);
    classical.emplace_back(at, y(r.seeing));
    if (!r.best) continue;
    best.emplace_back(at, y(*r.best));
    if (r.bestError) bars.emplace_back(at, y(*r.best - *r.bestError), at, y(*r.best + *r.bestError));
  }
  p_.setClipRect(plot_.adjusted(0, -pointSize_, 0, 0));
  p_.setPen(QPen(colours_.classical, pointSize_ * 0.8, Qt::SolidLine, Qt::RoundCap));
  p_.drawPoints(classical.data(), static_cast<int>(classical.size()));
  p_.setPen(QPen(colours_.errorBar, 1));
  p_.drawLines(bars.data(), static_cast<int>(bars.size()));
  p_.setPen(QPen(colours_.best, pointSize_, Qt::SolidLine, Qt::RoundCap));
  p_.drawPoints(best.data(), static_cast<int>(best.size()));

  // The running median, broken where no reading came for longer than a gap.
  QPainterPath path;
  std::time_t previous = 0;
  std::size_t index = 0;
  for (const LoggedReading& r : night_.readings) {
    if (!r.best) continue;
    const QPointF point(x(r.time), y(medians_[index++]));
    if (path.elementCount() == 0 || r.time - previous > kNightGap) {
      path.moveTo(point);
    } else {
      path.lineTo(point);
    }
    previous = r.time;
  }
  // Edged in the background's colour, so that it stands out of the points in either palette.
  const double width = std::max(2.0, pointSize_ * 0.7);
  p_.setRenderHint(QPainter::Antialiasing, true);
  p_.strokePath(path, QPen(colours_.background, width + 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p_.strokePath(path, QPen(colours_.median, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p_.setRenderHint(QPainter::Antialiasing, false);
  p_.setClipping(false);
}

// Each pixel column shows the rejected share of the exposures of the readings whose time it covers.
void Painter::drawRejectedBand(const QRectF& band) {
  const std::vector<double> durations = readingDurations(night_.readings);
  const int columns = std::max(1, static_cast<int>(band.width()));
  std::vector<double> rejected(columns, 0), total(columns, 0);
  for (std::size_t i = 0; i < night_.readings.size(); ++i) {
    const LoggedReading& r = night_.readings[i];
    const int from = std::clamp(
        static_cast<int>(x(r.time - static_cast<std::time_t>(durations[i])) - band.left()), 0, columns - 1);
    const int to = std::clamp(static_cast<int>(x(r.time) - band.left()), from, columns - 1);
    for (int c = from; c <= to; ++c) {
      rejected[c] += r.exposuresRejected;
      total[c] += r.exposuresUsed + r.exposuresRejected;
    }
  }
  for (int c = 0; c < columns; ++c) {
    if (rejected[c] <= 0) continue;
    QColor colour = colours_.rejected;
    colour.setAlphaF(static_cast<float>(std::clamp(0.15 + 0.85 * rejected[c] / total[c], 0.0, 1.0)));
    p_.fillRect(QRectF(band.left() + c, band.top(), 1, band.height()), colour);
  }
}

void Painter::drawAirmass(const QRectF& strip, const QFontMetricsF& metrics) {
  double low = 1e9, high = 0;
  for (const LoggedReading& r : night_.readings) {
    if (r.airmass <= 0) continue;
    low = std::min(low, r.airmass);
    high = std::max(high, r.airmass);
  }
  p_.setPen(QPen(colours_.axis, 1));
  p_.drawRect(strip);
  label(strip.adjusted(4, 1, -4, -1), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("airmass"), colours_.text);
  if (high <= 0) return;
  const double pad = std::max(0.0, 0.05 - (high - low)) / 2;  // a flat track in the middle
  low -= pad;
  high += pad;
  const QRectF inside = strip.adjusted(0, metrics.height() * 0.3, 0, -metrics.height() * 0.3);
  const auto yOf = [&](double airmass) {
    return inside.bottom() - (airmass - low) / (high - low) * inside.height();
  };
  const QRectF column(area_.left(), 0, strip.left() - 4 - area_.left(), metrics.height());
  label(column.translated(0, strip.top()), Qt::AlignRight | Qt::AlignTop,
        QString::fromStdString(fixedText(high, 2)), colours_.text);
  label(column.translated(0, strip.bottom() - metrics.height()), Qt::AlignRight | Qt::AlignBottom,
        QString::fromStdString(fixedText(low, 2)), colours_.text);
  QPainterPath path;
  std::time_t previous = 0;
  for (const LoggedReading& r : night_.readings) {
    if (r.airmass <= 0) continue;
    const QPointF point(x(r.time), yOf(r.airmass));
    if (path.elementCount() == 0 || r.time - previous > kNightGap) {
      path.moveTo(point);
    } else {
      path.lineTo(point);
    }
    previous = r.time;
  }
  p_.strokePath(path, QPen(colours_.airmass, 1.5));
}

}  // namespace

NightChart::NightChart(Night night) : night_(std::move(night)) {
  std::vector<std::time_t> times;
  std::vector<double> values;
  for (const LoggedReading& r : night_.readings) {
    if (!r.best) continue;
    times.push_back(r.time);
    values.push_back(*r.best);
  }
  medians_ = runningMedians(times, values, kMedianHalfWindow, kMedianHalfWindow);
}

void NightChart::paint(QPainter& painter, const QRect& area, bool nightPalette) const {
  Painter(painter, area, night_, medians_, nightPalette).paint();
}

std::optional<QString> NightChart::save(const QString& path, const QSize& size, bool nightPalette) const {
  if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QStringLiteral("Seeing, night of %1").arg(QString::fromStdString(night_.date)));
    QPainter painter;
    if (!painter.begin(&svg)) return QStringLiteral("Cannot write %1").arg(path);
    paint(painter, QRect(QPoint(0, 0), size), nightPalette);
    if (!painter.end()) return QStringLiteral("Cannot write %1").arg(path);
    return std::nullopt;
  }
  if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
    return QStringLiteral("%1: the picture's name must end in .png or .svg").arg(path);
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  paint(painter, image.rect(), nightPalette);
  painter.end();
  if (!image.save(path, "PNG")) return QStringLiteral("Cannot write %1").arg(path);
  return std::nullopt;
}

}  // namespace nebulor
