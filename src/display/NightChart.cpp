#include "display/NightChart.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>
#include <tuple>

#include "core/NumberText.h"
#include "display/ChartStyle.h"
#include "measure/NightSummary.h"
#include "measure/RunningMedian.h"

namespace nebulor {

namespace {

constexpr std::time_t kMedianWindow = 10 * 60;
// Quick zlib compression: flat colours pack well at any level, and the
// higher levels took most of the time of writing a night's picture.
constexpr int kPngQuality = 80;

// Seconds east of UTC in force at a moment: that of the last reading at or before it.
int offsetAt(const std::vector<Reading>& readings, std::time_t time) {
  const auto after = std::upper_bound(readings.begin(), readings.end(), time,
                                      [](std::time_t t, const Reading& r) { return t < r.seconds(); });
  return after == readings.begin() ? readings.front().utcOffset : std::prev(after)->utcOffset;
}

QString offsetText(int offset) {
  const int minutes = std::abs(offset) / 60;
  return QStringLiteral("UTC%1%2:%3")
      .arg(offset < 0 ? '-' : '+')
      .arg(minutes / 60, 2, 10, QLatin1Char('0'))
      .arg(minutes % 60, 2, 10, QLatin1Char('0'));
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
          const ChartRanges& ranges, bool nightPalette)
      : p_(painter),
        area_(area),
        night_(night),
        medians_(medians),
        colours_(chartColours(nightPalette)),
        start_(ranges.start),
        end_(ranges.end),
        top_(ranges.top),
        airmassLow_(ranges.airmassLow),
        airmassHigh_(ranges.airmassHigh) {}

  // The whole chart, or only the readings from `first` on over a picture of the same ranges.
  void paint(std::size_t first);

 private:
  Layout layout(const QFontMetricsF& metrics) const;
  double x(std::time_t time) const {
    return plot_.left() + (double(time - start_) / double(end_ - start_)) * plot_.width();
  }
  double y(double seeing) const {
    return plot_.bottom() - std::clamp(seeing / top_, 0.0, 1.0) * plot_.height();
  }
  template <typename HeightOf>
  QPainterPath trace(HeightOf heightOf) const;
  void drawMarks(std::vector<QRect> marks, const QColor& colour);
  void drawTitleAndLegend(const Layout& at, const QFontMetricsF& metrics);
  void drawAxes(const QFontMetricsF& metrics);
  void drawReadings();
  void drawRejectedBand(const QRectF& band);
  void drawAirmass(const QRectF& strip);
  void drawAirmassScale(const QRectF& strip, const QFontMetricsF& metrics);
  void label(const QRectF& box, int flags, const QString& text, const QColor& colour);

  QPainter& p_;
  QRect area_;
  const Night& night_;
  const std::vector<double>& medians_;
  ChartColours colours_;
  QRectF plot_;
  std::time_t start_, end_;
  double top_;
  double airmassLow_, airmassHigh_;
  double pointSize_ = 3;
  std::size_t first_ = 0;  // the first reading to draw
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

void Painter::paint(std::size_t first) {
  first_ = first;
  p_.save();
  QFont font = p_.font();
  font.setFamily(QFontInfo(font).family());  // the font in use by its name, which an SVG file needs
  font.setPixelSize(
      std::clamp(static_cast<int>(std::min(area_.height() / 34.0, area_.width() / 60.0)), 10, 22));
  p_.setFont(font);
  const QFontMetricsF metrics(font, p_.device());
  const Layout at = layout(metrics);
  plot_ = at.plot;
  pointSize_ = std::clamp(at.font / 5, 2.0, 4.5);
  const double step = tickStep(top_, std::max(2.0, plot_.height() / (2.2 * at.font)));
  top_ = std::ceil(top_ / step - 1e-9) * step;

  if (first_ == 0) {
    p_.fillRect(area_, colours_.background);
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
    drawAirmassScale(at.strip, metrics);
    if (night_.readings.empty()) {
      label(plot_, Qt::AlignCenter, QStringLiteral("No readings yet"), colours_.text);
    } else {
      drawAxes(metrics);
    }
  }
  drawRejectedBand(at.band);
  drawAirmass(at.strip);
  drawReadings();
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
    Reading moment;
    moment.time = WallClock::from_time_t(t);
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

// A line through the readings' heights (none: the reading is left out),
// broken where no reading came for longer than a gap, with a point at
// most every half pixel across: the same line, quick for any night.
template <typename HeightOf>
QPainterPath Painter::trace(HeightOf heightOf) const {
  QPainterPath path;
  std::time_t previous = 0;
  double previousX = -1e9;
  const auto& readings = night_.readings;
  for (std::size_t i = first_ > 0 ? first_ - 1 : 0; i < readings.size(); ++i) {
    const Reading& r = readings[i];
    const std::optional<double> height = heightOf(r);
    if (!height) continue;
    const QPointF point(x(r.seconds()), *height);
    if (path.elementCount() == 0 || r.seconds() - previous > kNightGap) {
      path.moveTo(point);
    } else if (point.x() - previousX >= 0.5) {
      path.lineTo(point);
    } else {
      continue;
    }
    previous = r.seconds();
    previousX = point.x();
  }
  return path;
}

// Filled rectangles, each drawn once however many readings share its pixels.
void Painter::drawMarks(std::vector<QRect> marks, const QColor& colour) {
  const auto key = [](const QRect& r) { return std::tuple(r.x(), r.y(), r.height()); };
  std::sort(marks.begin(), marks.end(), [&](const QRect& a, const QRect& b) { return key(a) < key(b); });
  marks.erase(std::unique(marks.begin(), marks.end()), marks.end());
  p_.setPen(Qt::NoPen);
  p_.setBrush(colour);
  p_.drawRects(marks.data(), static_cast<int>(marks.size()));
  p_.setBrush(Qt::NoBrush);
}

void Painter::drawReadings() {
  const int size = static_cast<int>(std::lround(pointSize_));
  const int small = std::max(2, size - 1);
  std::vector<QRect> bars, best, classical;
  for (std::size_t i = first_; i < night_.readings.size(); ++i) {
    const Reading& r = night_.readings[i];
    const int at = static_cast<int>(x(r.seconds()));
    classical.emplace_back(at - small / 2, static_cast<int>(y(r.seeing)) - small / 2, small, small);
    if (!r.best) continue;
    best.emplace_back(at - size / 2, static_cast<int>(y(*r.best)) - size / 2, size, size);
    if (!r.bestError) continue;
    const int high = static_cast<int>(y(*r.best + *r.bestError)),
              low = static_cast<int>(y(*r.best - *r.bestError));
    bars.emplace_back(at, high, 1, low - high + 1);
  }
  drawMarks(std::move(classical), colours_.classical);
  drawMarks(std::move(bars), colours_.errorBar);
  drawMarks(std::move(best), colours_.best);

  // medians_ holds one value per best estimate: count those before the trace's first reading.
  const std::size_t from = first_ > 0 ? first_ - 1 : 0;
  std::size_t index =
      static_cast<std::size_t>(std::count_if(night_.readings.begin(), night_.readings.begin() + from,
                                             [](const Reading& r) { return r.best.has_value(); }));
  const QPainterPath path = trace([&](const Reading& r) -> std::optional<double> {
    if (!r.best) return std::nullopt;
    return y(medians_[index++]);
  });
  // Edged in the background's colour, so that it stands out of the points in either palette.
  const double width = std::max(2.0, pointSize_ * 0.7);
  p_.setRenderHint(QPainter::Antialiasing, true);
  p_.strokePath(path, QPen(colours_.background, width + 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p_.strokePath(path, QPen(colours_.median, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p_.setRenderHint(QPainter::Antialiasing, false);
}

// Each reading's share of rejected exposures, over the time since the
// reading before it: from the background's colour (none) to the band's (all).
void Painter::drawRejectedBand(const QRectF& band) {
  const auto& readings = night_.readings;
  for (std::size_t i = first_; i < readings.size(); ++i) {
    const Reading& r = readings[i];
    const int exposures = r.exposuresUsed + r.exposuresRejected;
    if (r.exposuresRejected <= 0 || exposures <= 0) continue;
    const bool after = i > 0 && r.seconds() - readings[i - 1].seconds() <= kNightGap;
    const double right = x(r.seconds());
    const double left = std::min(right - 1, after ? x(readings[i - 1].seconds()) : right - 2);
    const double share = 0.25 + 0.75 * r.exposuresRejected / exposures;
    const QColor& from = colours_.background;
    const QColor& to = colours_.rejected;
    const QColor colour = QColor::fromRgbF(from.redF() + share * (to.redF() - from.redF()),
                                           from.greenF() + share * (to.greenF() - from.greenF()),
                                           from.blueF() + share * (to.blueF() - from.blueF()));
    p_.fillRect(QRectF(QPointF(left, band.top()), QPointF(right, band.bottom())), colour);
  }
}

void Painter::drawAirmassScale(const QRectF& strip, const QFontMetricsF& metrics) {
  p_.setPen(QPen(colours_.axis, 1));
  p_.drawRect(strip);
  label(strip.adjusted(4, 1, -4, -1), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("airmass"), colours_.text);
  const QRectF column(area_.left(), 0, strip.left() - 4 - area_.left(), metrics.height());
  label(column.translated(0, strip.top()), Qt::AlignRight | Qt::AlignTop,
        QString::fromStdString(fixedText(airmassHigh_, 1)), colours_.text);
  label(column.translated(0, strip.bottom() - metrics.height()), Qt::AlignRight | Qt::AlignBottom,
        QString::fromStdString(fixedText(airmassLow_, 1)), colours_.text);
}

void Painter::drawAirmass(const QRectF& strip) {
  const QRectF inside = strip.adjusted(0, 2, 0, -2);
  const auto yOf = [&](double airmass) {
    return inside.bottom() - (airmass - airmassLow_) / (airmassHigh_ - airmassLow_) * inside.height();
  };
  const QPainterPath path = trace([&](const Reading& r) -> std::optional<double> {
    if (r.airmass <= 0) return std::nullopt;
    return yOf(r.airmass);
  });
  p_.strokePath(path, QPen(colours_.airmass, 1.5));
}

}  // namespace

NightChart::NightChart(Night night, bool live) : night_(std::move(night)), live_(live) {
  std::vector<Reading> readings;
  readings.swap(night_.readings);
  append(readings);
}

void NightChart::append(const std::vector<Reading>& readings) {
  const std::size_t first = night_.readings.size();
  night_.readings.insert(night_.readings.end(), readings.begin(), readings.end());
  const auto known = static_cast<std::ptrdiff_t>(highs_.size());
  for (const Reading& r : readings)
    highs_.push_back(std::max(r.seeing, r.best.value_or(0) + r.bestError.value_or(0)));
  std::sort(highs_.begin() + known, highs_.end());
  for (const Reading& r : readings) {
    if (r.airmass <= 0) continue;
    airmassLow_ = airmassHigh_ > 0 ? std::min(airmassLow_, r.airmass) : r.airmass;
    airmassHigh_ = std::max(airmassHigh_, r.airmass);
  }
  std::inplace_merge(highs_.begin(), highs_.begin() + known, highs_.end());
  addMedians(first);
}

// The median over the 10 minutes up to each reading: a new reading leaves
// the line drawn before it as it is.
void NightChart::addMedians(std::size_t first) {
  const auto& readings = night_.readings;
  if (first >= readings.size()) return;
  // The new readings' windows reach back from the first of them.
  std::size_t from = first;
  while (from > 0 && readings[from - 1].seconds() >= readings[first].seconds() - kMedianWindow) --from;
  std::vector<std::time_t> times;
  std::vector<double> values;
  std::size_t known = 0;  // medians already there
  for (std::size_t i = from; i < readings.size(); ++i) {
    if (!readings[i].best) continue;
    if (i < first) ++known;
    times.push_back(readings[i].seconds());
    values.push_back(*readings[i].best);
  }
  const std::vector<double> medians = runningMedians(times, values, kMedianWindow, 0);
  medians_.insert(medians_.end(), medians.begin() + static_cast<std::ptrdiff_t>(known), medians.end());
}

ChartRanges NightChart::ranges() const {
  ChartRanges ranges;
  const auto& readings = night_.readings;
  if (readings.empty()) return ranges;
  const std::time_t first = readings.front().seconds();
  const std::time_t last = readings.back().seconds();
  if (live_) {
    ranges.start = (first - 60) / 900 * 900;
    ranges.end = (last + 600) / 3600 * 3600 + 3600;
  } else {
    const std::time_t margin = std::max<std::time_t>(120, (last - first) / 50);
    ranges.start = first - margin;
    ranges.end = last + margin;
  }
  // Most marks: one reading far off (a cloud's edge) does not squash the night.
  const double high = highs_[static_cast<std::size_t>(0.99 * static_cast<double>(highs_.size() - 1))] * 1.1;
  ranges.top = 1;
  for (const double nice : {1.2, 1.5, 2.0, 2.5, 3.0, 4.0, 5.0}) {
    if (ranges.top < high) ranges.top = nice;
  }
  if (ranges.top < high) ranges.top = std::ceil(high / 5) * 5;
  if (airmassHigh_ > 0) {
    ranges.airmassLow = std::floor(airmassLow_ * 10 + 1e-9) / 10;
    ranges.airmassHigh = std::max(std::ceil(airmassHigh_ * 10 - 1e-9) / 10, ranges.airmassLow + 0.1);
  }
  return ranges;
}

void NightChart::paint(QPainter& painter, const QRect& area, bool nightPalette) const {
  Painter(painter, area, night_, medians_, ranges(), nightPalette).paint(0);
}

void NightChart::paintFrom(QPainter& painter, const QRect& area, bool nightPalette, std::size_t first) const {
  Painter(painter, area, night_, medians_, ranges(), nightPalette).paint(first);
}

std::optional<Failure> NightChart::save(const QString& path, const QSize& size, bool nightPalette) const {
  if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setResolution(96);  // a pixel of the picture is a CSS pixel
    svg.setTitle(QStringLiteral("Seeing, night of %1").arg(QString::fromStdString(night_.date)));
    QPainter painter;
    if (!painter.begin(&svg)) return Failure{QStringLiteral("Cannot write %1").arg(path).toStdString()};
    paint(painter, QRect(QPoint(0, 0), size), nightPalette);
    if (!painter.end()) return Failure{QStringLiteral("Cannot write %1").arg(path).toStdString()};
    return std::nullopt;
  }
  if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
    return Failure{QStringLiteral("%1: the picture's name must end in .png or .svg").arg(path).toStdString()};
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  paint(painter, image.rect(), nightPalette);
  painter.end();
  if (!image.save(path, "PNG", kPngQuality))
    return Failure{QStringLiteral("Cannot write %1").arg(path).toStdString()};
  return std::nullopt;
}

}  // namespace nebulor
