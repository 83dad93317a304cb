#include "display/SiteCharts.h"

#include <QBuffer>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>
#include <functional>

#include "core/NumberText.h"
#include "display/ChartStyle.h"

namespace nebulor {

namespace {

// Text large enough to read with the picture shrunk to a phone's width.
constexpr int kFontPixels = 21;

QString text(const std::string& s) { return QString::fromStdString(s); }

// A plot with a value axis up the left and, across, either values or named places.
class Frame {
 public:
  Frame(QPainter& painter, bool nightPalette)
      : p_(painter), colours_(chartColours(nightPalette)), metrics_(painter.font(), painter.device()) {
    const double line = metrics_.height();
    const double left = metrics_.horizontalAdvance(QStringLiteral("100.0")) + line / 2;
    plot_ = QRectF(left, 2 * line, kSiteChartWidth - left - line, kSiteChartHeight - 4.6 * line);
    p_.fillRect(QRect(0, 0, kSiteChartWidth, kSiteChartHeight), colours_.background);
  }

  const ChartColours& colours() const { return colours_; }
  double line() const { return metrics_.height(); }
  double x(double value) const { return plot_.left() + value / xTop_ * plot_.width(); }
  double y(double value) const {
    return plot_.bottom() - std::clamp(value / yTop_, 0.0, 1.0) * plot_.height();
  }
  double slot() const { return plot_.width() / static_cast<double>(std::max<std::size_t>(places_, 1)); }
  double placeX(std::size_t i) const { return plot_.left() + (static_cast<double>(i) + 0.5) * slot(); }

  // Up the left from 0 to at least top; the caption above the axis.
  void valueAxis(double top, const QString& caption) {
    const double step = tickStep(top, plot_.height() / (2.2 * line()));
    yTop_ = std::ceil(top / step - 1e-9) * step;
    for (double v = 0; v < yTop_ + step / 2; v += step) {
      p_.setPen(QPen(colours_.grid, 1));
      p_.drawLine(QPointF(plot_.left(), y(v)), QPointF(plot_.right(), y(v)));
      label(QRectF(0, y(v) - line() / 2, plot_.left() - line() / 3, line()),
            Qt::AlignRight | Qt::AlignVCenter, text(fixedText(v, step < 1 ? 1 : 0)));
    }
    label(QRectF(0, line() / 5, kSiteChartWidth, line()), Qt::AlignLeft | Qt::AlignVCenter, caption);
  }

  // Across, from 0 to top.
  void numberAxis(double top, const QString& caption) {
    xTop_ = top;
    const double step = tickStep(top, plot_.width() / (3.5 * line()));
    for (double v = 0; v < top + step / 2; v += step) {
      p_.setPen(QPen(colours_.grid, 1));
      p_.drawLine(QPointF(x(v), plot_.top()), QPointF(x(v), plot_.bottom()));
      label(QRectF(x(v) - 2 * line(), plot_.bottom() + line() / 4, 4 * line(), line()), Qt::AlignCenter,
            text(fixedText(v, step < 1 ? 1 : 0)));
    }
    bottomCaption(caption);
  }

  // Across: one place per name, with a second line under some (a year).
  void placeAxis(const std::vector<QString>& names, const std::vector<QString>& under,
                 const QString& caption) {
    places_ = names.size();
    const double widest = std::max(1.0, [&] {
      double most = 0;
      for (const QString& name : names) most = std::max(most, metrics_.horizontalAdvance(name));
      return most;
    }());
    const std::size_t every = static_cast<std::size_t>(std::ceil(widest * 1.3 / slot()));
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (i % std::max<std::size_t>(every, 1) != 0 && under[i].isEmpty()) continue;
      const QRectF box(placeX(i) - slot() * every, plot_.bottom() + line() / 4, 2 * slot() * every, line());
      label(box, Qt::AlignCenter, names[i]);
      if (!under[i].isEmpty()) label(box.translated(0, line()), Qt::AlignCenter, under[i]);
    }
    bottomCaption(caption);
  }

  // Names after samples, along the top right.
  void legend(const std::vector<std::pair<QString, std::function<void(QPointF)>>>& entries) {
    double right = plot_.right();
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
      const double width = metrics_.horizontalAdvance(entry->first);
      right -= width;
      label(QRectF(right, line() / 5, width + 1, line()), Qt::AlignLeft | Qt::AlignVCenter, entry->first);
      right -= 1.4 * line();
      entry->second(QPointF(right + 0.6 * line(), 0.7 * line()));
      right -= 0.8 * line();
    }
  }

  // A box plot at place i: 10 to 90 percent a line, the quartiles a box, the median a bar.
  void box(std::size_t i, const Spread& spread) {
    const double half = std::min(slot() * 0.3, 1.2 * line());
    const double at = placeX(i);
    p_.setPen(QPen(colours_.axis, 1.5));
    p_.drawLine(QPointF(at, y(spread.q10)), QPointF(at, y(spread.q90)));
    p_.drawLine(QPointF(at - half / 2, y(spread.q10)), QPointF(at + half / 2, y(spread.q10)));
    p_.drawLine(QPointF(at - half / 2, y(spread.q90)), QPointF(at + half / 2, y(spread.q90)));
    p_.setPen(QPen(colours_.best, 1.5));
    p_.setBrush(colours_.errorBar);
    p_.drawRect(QRectF(QPointF(at - half, y(spread.q3)), QPointF(at + half, y(spread.q1))));
    p_.setBrush(Qt::NoBrush);
    p_.setPen(QPen(colours_.median, 3.5));
    p_.drawLine(QPointF(at - half, y(spread.median)), QPointF(at + half, y(spread.median)));
  }

  void boxLegend() {
    legend({{QStringLiteral("median"),
             [&](QPointF at) {
               p_.setPen(QPen(colours_.median, 3.5));
               p_.drawLine(at - QPointF(line() / 2, 0), at + QPointF(line() / 2, 0));
             }},
            {QStringLiteral("quartiles"),
             [&](QPointF at) {
               p_.setPen(QPen(colours_.best, 1.5));
               p_.setBrush(colours_.errorBar);
               p_.drawRect(
                   QRectF(at - QPointF(line() / 2, line() / 3), at + QPointF(line() / 2, line() / 3)));
               p_.setBrush(Qt::NoBrush);
             }},
            {QStringLiteral("10 to 90%"), [&](QPointF at) {
               p_.setPen(QPen(colours_.axis, 1.5));
               p_.drawLine(at - QPointF(0, line() / 2), at + QPointF(0, line() / 2));
             }}});
  }

  void outline() {
    p_.setPen(QPen(colours_.axis, 1));
    p_.setBrush(Qt::NoBrush);
    p_.drawRect(plot_);
  }

  QPainter& painter() { return p_; }
  const QRectF& plot() const { return plot_; }

 private:
  void label(const QRectF& box, int flags, const QString& s) {
    p_.setPen(colours_.text);
    p_.drawText(box, flags, s);
  }
  void bottomCaption(const QString& caption) {
    label(QRectF(plot_.left(), kSiteChartHeight - 1.2 * line(), plot_.width(), line()), Qt::AlignCenter,
          caption);
  }

  QPainter& p_;
  ChartColours colours_;
  QFontMetricsF metrics_;
  QRectF plot_;
  double xTop_ = 1;
  double yTop_ = 1;
  std::size_t places_ = 0;
};

QPainterPath curve(const Frame& frame, const std::vector<double>& percents) {
  QPainterPath path;
  for (std::size_t i = 0; i < percents.size(); ++i) {
    const QPointF point(frame.x(static_cast<double>(i) * kCurveStep), frame.y(percents[i]));
    if (i == 0) {
      path.moveTo(point);
    } else {
      path.lineTo(point);
    }
  }
  return path;
}

void drawDistribution(Frame& frame, const SiteStatistics& s) {
  QPainter& p = frame.painter();
  frame.valueAxis(100, QStringLiteral("% of time better than"));
  frame.numberAxis(s.top, QStringLiteral("seeing (arcsec)"));
  p.setRenderHint(QPainter::Antialiasing, true);
  p.strokePath(curve(frame, s.classical.cumulative), QPen(frame.colours().classical, 2));
  p.strokePath(curve(frame, s.best.cumulative), QPen(frame.colours().best, 3));
  const auto sample = [&](const QColor& colour, double width) {
    return [&p, &frame, colour, width](QPointF at) {
      p.setPen(QPen(colour, width));
      p.drawLine(at - QPointF(frame.line() / 2, 0), at + QPointF(frame.line() / 2, 0));
    };
  };
  frame.legend({{QStringLiteral("best estimate"), sample(frame.colours().best, 3)},
                {QStringLiteral("classical"), sample(frame.colours().classical, 2)}});
}

void drawHistogram(Frame& frame, const SiteStatistics& s) {
  QPainter& p = frame.painter();
  const double most = s.bestHistogram.empty()
                          ? 1
                          : std::max(1e-3, *std::max_element(s.bestHistogram.begin(), s.bestHistogram.end()));
  frame.valueAxis(most, QStringLiteral("hours"));
  frame.numberAxis(s.top, QStringLiteral("best estimate (arcsec); last bar: all above"));
  p.setPen(QPen(frame.colours().best, 1));
  p.setBrush(frame.colours().errorBar);
  for (std::size_t i = 0; i < s.bestHistogram.size(); ++i) {
    const double left = static_cast<double>(i) * kHistogramBin;
    p.drawRect(QRectF(QPointF(frame.x(left), frame.y(s.bestHistogram[i])),
                      QPointF(frame.x(left + kHistogramBin), frame.y(0))));
  }
  p.setBrush(Qt::NoBrush);
  if (s.best.spread.readings > 0) {
    const double at = frame.x(s.best.spread.median);
    p.setPen(QPen(frame.colours().median, 3));
    p.drawLine(QPointF(at, frame.plot().top()), QPointF(at, frame.plot().bottom()));
  }
  frame.legend({{QStringLiteral("median"), [&](QPointF at) {
                   p.setPen(QPen(frame.colours().median, 3));
                   p.drawLine(at - QPointF(0, frame.line() / 2), at + QPointF(0, frame.line() / 2));
                 }}});
}

void drawBoxes(Frame& frame, const std::vector<PartSpread>& parts, const std::vector<QString>& names,
               const std::vector<QString>& under, const QString& caption) {
  double top = 1;
  for (const PartSpread& part : parts) top = std::max(top, part.spread.q90 * 1.05);
  frame.valueAxis(top, QStringLiteral("arcsec"));
  frame.placeAxis(names, under, caption);
  for (std::size_t i = 0; i < parts.size(); ++i) frame.box(i, parts[i].spread);
  frame.boxLegend();
}

void drawByHour(Frame& frame, const SiteStatistics& s) {
  std::vector<QString> names, under(s.bestByHour.size());
  for (const PartSpread& part : s.bestByHour) names.push_back(text(part.name));
  drawBoxes(frame, s.bestByHour, names, under, QStringLiteral("local time (the hour from)"));
}

void drawByMonth(Frame& frame, const SiteStatistics& s) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::vector<QString> names, under;
  for (std::size_t i = 0; i < s.bestByMonth.size(); ++i) {
    const std::string& month = s.bestByMonth[i].name;  // YYYY-MM
    const int number = std::clamp(std::atoi(month.c_str() + 5), 1, 12);
    names.push_back(QString::fromLatin1(kMonths[number - 1]));
    const bool newYear = i == 0 || s.bestByMonth[i - 1].name.substr(0, 4) != month.substr(0, 4);
    under.push_back(newYear ? text(month.substr(0, 4)) : QString());
  }
  drawBoxes(frame, s.bestByMonth, names, under, QString());
}

}  // namespace

QByteArray siteChartSvg(const SiteStatistics& statistics, SiteChart chart, bool nightPalette) {
  QBuffer buffer;
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(QSize(kSiteChartWidth, kSiteChartHeight));
  svg.setViewBox(QRect(0, 0, kSiteChartWidth, kSiteChartHeight));
  svg.setResolution(96);  // a pixel of the picture is a CSS pixel
  QPainter painter(&svg);
  QFont font = painter.font();
  font.setFamily(QFontInfo(font).family());  // the font in use by its name, which an SVG picture needs
  font.setPixelSize(kFontPixels);
  painter.setFont(font);
  Frame frame(painter, nightPalette);
  switch (chart) {
    case SiteChart::distribution:
      drawDistribution(frame, statistics);
      break;
    case SiteChart::histogram:
      drawHistogram(frame, statistics);
      break;
    case SiteChart::byHour:
      drawByHour(frame, statistics);
      break;
    case SiteChart::byMonth:
      drawByMonth(frame, statistics);
      break;
  }
  frame.outline();
  painter.end();
  return buffer.data();
}

}  // namespace nebulor
