#include "publish/SeeingChartSvg.h"

#include <QDateTime>
#include <QString>
#include <algorithm>
#include <cmath>

namespace nebulor {

namespace {

constexpr double kWidth = 600;
constexpr double kHeight = 220;
constexpr double kLeft = 40;    // room for the arcsec labels
constexpr double kBottom = 20;  // and for the times
constexpr double kTop = 8;
constexpr double kRight = 8;

QString timeText(WallClock::time_point time) {
  return QDateTime::fromSecsSinceEpoch(WallClock::to_time_t(time)).toString(QStringLiteral("HH:mm"));
}

QString number(double value) { return QString::number(value, 'f', 1); }

}  // namespace

QByteArray seeingChartSvg(const std::vector<PublishedReading>& readings) {
  QString svg = QStringLiteral(
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 %1 %2\" role=\"img\" "
                    "aria-label=\"Seeing tonight\" font-size=\"11\" fill=\"currentColor\">")
                    .arg(kWidth)
                    .arg(kHeight);
  if (readings.empty()) {
    svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">No reading yet</text></svg>")
               .arg(kWidth / 2)
               .arg(kHeight / 2);
    return svg.toUtf8();
  }
  double top = 1;  // arcsec, at least
  for (const PublishedReading& r : readings) top = std::max({top, r.seeing, r.best.value_or(0)});
  top = std::ceil(top);
  const double first = std::chrono::duration<double>(readings.front().time.time_since_epoch()).count();
  const double span =
      std::max(1.0, std::chrono::duration<double>(readings.back().time.time_since_epoch()).count() - first);
  const auto x = [&](const PublishedReading& r) {
    return kLeft + (kWidth - kLeft - kRight) *
                       (std::chrono::duration<double>(r.time.time_since_epoch()).count() - first) / span;
  };
  const auto y = [&](double arcsec) {
    return kTop + (kHeight - kTop - kBottom) * (1 - std::clamp(arcsec / top, 0.0, 1.0));
  };
  svg += QStringLiteral("<g stroke=\"currentColor\" stroke-opacity=\"0.4\">");
  for (int step = 0; step <= 4; ++step) {
    const double value = top * step / 4;
    svg += QStringLiteral("<line x1=\"%1\" x2=\"%2\" y1=\"%3\" y2=\"%3\"/>")
               .arg(kLeft)
               .arg(kWidth - kRight)
               .arg(y(value));
  }
  svg += QStringLiteral("</g>");
  for (int step = 0; step <= 4; ++step) {
    const double value = top * step / 4;
    svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\">%3\"</text>")
               .arg(kLeft - 4)
               .arg(y(value) + 4)
               .arg(number(value));
  }
  svg +=
      QStringLiteral("<text x=\"%1\" y=\"%2\">%3</text><text x=\"%4\" y=\"%2\" text-anchor=\"end\">%5</text>")
          .arg(kLeft)
          .arg(kHeight - 4)
          .arg(timeText(readings.front().time))
          .arg(kWidth - kRight)
          .arg(timeText(readings.back().time));
  QString classical;
  QString best;
  // About one point per unit of width: a long night's thousands of readings
  // would only make the page slower, not the line clearer.
  const std::size_t step = std::max<std::size_t>(1, readings.size() / static_cast<std::size_t>(kWidth));
  for (std::size_t i = 0; i < readings.size(); i += step) {
    const PublishedReading& r = readings[i];
    classical += QStringLiteral("%1,%2 ").arg(x(r), 0, 'f', 1).arg(y(r.seeing), 0, 'f', 1);
    if (r.best) best += QStringLiteral("%1,%2 ").arg(x(r), 0, 'f', 1).arg(y(*r.best), 0, 'f', 1);
  }
  const double legend = kWidth - kRight - 190;
  svg +=
      QStringLiteral(
          "<polyline fill=\"none\" stroke=\"currentColor\" stroke-dasharray=\"4 3\" points=\"%1\"/>"
          "<polyline fill=\"none\" stroke=\"currentColor\" stroke-width=\"2\" points=\"%2\"/>"
          "<line x1=\"%3\" x2=\"%4\" y1=\"16\" y2=\"16\" stroke=\"currentColor\" stroke-width=\"2\"/>"
          "<text x=\"%5\" y=\"20\">best estimate</text>"
          "<line x1=\"%6\" x2=\"%7\" y1=\"16\" y2=\"16\" stroke=\"currentColor\" stroke-dasharray=\"4 3\"/>"
          "<text x=\"%8\" y=\"20\">classical</text></svg>")
          .arg(classical.trimmed(), best.trimmed())
          .arg(legend)
          .arg(legend + 20)
          .arg(legend + 24)
          .arg(legend + 110)
          .arg(legend + 130)
          .arg(legend + 134);
  return svg.toUtf8();
}

}  // namespace nebulor
