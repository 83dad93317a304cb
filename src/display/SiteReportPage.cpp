#include "display/SiteReportPage.h"

#include "core/NumberText.h"
#include "display/SiteCharts.h"

namespace nebulor {

namespace {

constexpr const char* kDayColours = "--text: #1e1e1e; --dim: #5a5a5a; --back: #fff; --rule: #d0d0d0;";
constexpr const char* kNightColours = "--text: #c80000; --dim: #8c0000; --back: #000; --rule: #3c0000;";

constexpr const char* kStyle = R"css(
body { font-family: "Liberation Sans", Arial, Helvetica, sans-serif; color: var(--text); background: var(--back);
       max-width: 46em; margin: 1em auto; padding: 0 1em; line-height: 1.35; }
h1 { font-size: 1.5em; margin: .3em 0; }
h2 { font-size: 1.2em; margin: 1.6em 0 .5em; border-bottom: 1px solid var(--rule); }
p, figcaption, li { max-width: 42em; }
figure { margin: .5em 0 1em; }
figure svg { display: block; width: 100%; max-width: 640px; height: auto; }
figcaption, .dim { color: var(--dim); font-size: .92em; }
table { border-collapse: collapse; font-variant-numeric: tabular-nums; }
th, td { padding: .15em .35em; text-align: right; border-bottom: 1px solid var(--rule); white-space: nowrap; }
th:first-child, td:first-child { text-align: left; padding-left: 0; }
.figures td:first-child { white-space: normal; }
.scroll { overflow-x: auto; }
@page { size: A4; margin: 15mm; }
@media print {
  body { max-width: none; margin: 0; padding: 0; font-size: 10pt; }
  figure svg { width: 125mm; }
  h2 { break-after: avoid; }
  figure, tr { break-inside: avoid; }
}
)css";

std::string escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A value of a spread, or a dash where there is none.
std::string value(double number, int decimals, bool known) {
  return known ? fixedText(number, decimals) : "-";
}

std::string figure(const SiteStatistics& s, SiteChart chart, bool night, const std::string& caption) {
  const QByteArray svg = siteChartSvg(s, chart, night);
  const qsizetype start = svg.indexOf("<svg");  // the picture without its XML declaration
  return "<figure>" + svg.mid(start < 0 ? 0 : start).toStdString() + "<figcaption>" + caption +
         "</figcaption></figure>\n";
}

std::string spreadCells(const Spread& spread, int decimals) {
  const bool known = spread.readings > 0;
  std::string cells;
  for (const double v : {spread.median, spread.q1, spread.q3, spread.q10, spread.q90})
    cells += "<td>" + value(v, decimals, known) + "</td>";
  return cells;
}

std::string partsTable(const std::vector<PartSpread>& parts, const std::string& part, int decimals) {
  std::string html =
      "<div class=\"scroll\"><table><tr><th>" + part +
      "</th><th>hours</th><th>median</th><th>q1</th><th>q3</th><th>10%</th><th>90%</th></tr>\n";
  for (const PartSpread& p : parts) {
    html += "<tr><td>" + escaped(p.name) + "</td><td>" + fixedText(p.spread.hours, 1) + "</td>" +
            spreadCells(p.spread, decimals) + "</tr>\n";
  }
  return html + "</table></div>\n";
}

std::string heading(const SiteStatistics& s, const SiteReportSource& source) {
  const std::string title = source.site.empty() ? "Seeing" : "Seeing at " + escaped(source.site);
  std::string html = "<h1>" + title + "</h1>\n<p>";
  if (!s.nights.empty()) {
    html += "Nights of " + s.nights.front().date + " to " + s.nights.back().date + ": " +
            std::to_string(s.nights.size()) + " nights, " + fixedText(s.hours, 1) + " hours measured, " +
            std::to_string(s.readings) + " readings.";
  }
  if (!source.from.empty() || !source.to.empty()) {
    html += " Asked for: the nights " + (source.from.empty() ? "" : "from " + source.from + " ") +
            (source.to.empty() ? "" : "to " + source.to);
    html += '.';
  }
  html += "</p>\n<details><summary class=\"dim\">" + std::to_string(source.logs.size()) +
          (source.logs.size() == 1 ? " log" : " logs") + " read</summary><ul>";
  for (const std::string& log : source.logs) html += "<li>" + escaped(log) + "</li>";
  return html + "</ul></details>\n";
}

std::string summarySection(const SiteStatistics& s) {
  std::string html =
      "<h2 id=\"summary\">All measured time</h2>\n<div class=\"scroll\"><table class=\"figures\">"
      "<tr><th></th><th>best estimate</th><th>classical</th></tr>\n";
  const auto row = [&](const std::string& name, double best, double classical, int decimals) {
    html += "<tr><td>" + name + "</td><td>" + value(best, decimals, s.best.spread.readings > 0) +
            "</td><td>" + value(classical, decimals, s.classical.spread.readings > 0) + "</td></tr>\n";
  };
  row("hours", s.best.spread.hours, s.classical.spread.hours, 1);
  row("median (arcsec)", s.best.spread.median, s.classical.spread.median, 3);
  row("q1, 25% (arcsec)", s.best.spread.q1, s.classical.spread.q1, 3);
  row("q3, 75% (arcsec)", s.best.spread.q3, s.classical.spread.q3, 3);
  row("10% (arcsec)", s.best.spread.q10, s.classical.spread.q10, 3);
  row("90% (arcsec)", s.best.spread.q90, s.classical.spread.q90, 3);
  for (std::size_t i = 0; i < kSeeingLimits.size(); ++i) {
    row("better than " + fixedText(kSeeingLimits[i], 1) + "&Prime; (% of time)", s.best.percentBelow[i],
        s.classical.percentBelow[i], 1);
  }
  return html +
         "</table></div>\n<p class=\"dim\">Seeing in arcseconds, as the readings log has it: the best "
         "estimate "
         "(<code>best_arcsec</code>) and the classical value (<code>seeing_arcsec</code>). The median, "
         "quartiles (q1, q3) and the 10% and 90% points are of the measured time, not of the count of "
         "readings; \"better than\" is the percent of the measured time with seeing below the limit.</p>\n";
}

std::string nightsSection(const SiteStatistics& s) {
  std::string html =
      "<h2 id=\"nights\">Nights</h2>\n<div class=\"scroll\"><table>"
      "<tr><th>night</th><th>hours</th><th>readings</th><th>median</th><th>q1</th><th>q3</th>"
      "<th>best 30 min</th><th>classical median</th></tr>\n";
  for (const NightSummary& n : s.nights) {
    const bool best = n.best.readings > 0;
    html += "<tr><td>" + n.date + "</td><td>" + fixedText(n.hours, 2) + "</td><td>" +
            std::to_string(n.readings) + "</td><td>" + value(n.best.median, 3, best) + "</td><td>" +
            value(n.best.q1, 3, best) + "</td><td>" + value(n.best.q3, 3, best) + "</td><td>" +
            (n.best.best30 ? fixedText(*n.best.best30, 3) + " at " + clockText(*n.best.best30Start) : "-") +
            "</td><td>" + value(n.classical.median, 3, n.classical.readings > 0) + "</td></tr>\n";
  }
  return html +
         "</table></div>\n<p class=\"dim\">Each night runs from noon to noon in the local time of the log's "
         "rows and is named by the date of its evening. Hours: the measured time. Median, q1 and q3: of the "
         "best estimate over the night's measured time, in arcsec, as <code>nebulor --chart</code> "
         "prints them for the night. Best 30 min: the lowest median of the best estimate over 30 measured "
         "minutes together, and the local time they begin (- when the night has no 30 minutes together). "
         "Classical median: the same median of the classical value.</p>\n";
}

std::string tau0Section(const SiteStatistics& s) {
  if (!s.tau0) {
    return "<p class=\"dim\" id=\"no-tau0\">The logs have no coherence time (no value in a "
           "<code>tau0_ms</code> column), so this report has no tau0 section.</p>\n";
  }
  std::vector<PartSpread> rows = {{"all", *s.tau0}};
  rows.insert(rows.end(), s.tau0ByMonth.begin(), s.tau0ByMonth.end());
  return "<h2 id=\"tau0\">Coherence time tau0</h2>\n" + partsTable(rows, "time", 2) +
         "<p class=\"dim\">tau0 in milliseconds (the log's <code>tau0_ms</code>) of the readings that have "
         "one, "
         "over all measured time and per month: median, quartiles and the 10% and 90% points of the measured "
         "time, weighted as the seeing is.</p>\n";
}

std::string methodSection() {
  return R"html(<h2 id="method">How the figures are made</h2>
<ul>
<li><b>Nights.</b> A night runs from noon to noon in the local time of the log's rows (their UTC offset, so a
change of daylight-saving time inside a night costs nothing) and is named by the date of its evening.</li>
<li><b>Weights: measured time.</b> Every reading stands for the time since the reading before it in the same
night. Where no reading came for more than 5 minutes (clouds, a stop) that gap is not measured time: the first
reading after it, and the night's first, stand for the night's typical spacing (the median of its spacings).
A reading whose time is not known (a night's only reading) counts as one second. Each kind of value is weighed
over the readings that have it. Every median, quartile, percentile and share in this report, per night or over
all nights, is of time weighted so, exactly as <code>nebulor --chart</code> weighs a night.</li>
<li><b>Quantiles.</b> The values, sorted, stand at the middle of their share of the time, scaled so that the
lowest is at 0 and the highest at 1; a quantile is read linearly between them. With equal spacings this is the
rank rule at (n - 1) p of the sorted values. q1 and q3 are the 25% and 75% points.</li>
<li><b>Better than a limit</b>: the percent of the measured time whose seeing is below the limit.</li>
<li><b>Cumulative distribution</b>: that percent for every limit, in steps of 0.01 arcsec.</li>
<li><b>Histogram</b>: hours of best estimate in bins of 0.1 arcsec; the last bin holds all above it.</li>
<li><b>By hour</b>: readings grouped by the hour of their local clock (21 holds 21:00 to 21:59), hours in the
order of the night.</li>
<li><b>By month</b>: nights grouped by the month of their evening.</li>
<li><b>Best estimate and classical value</b>: the readings log's <code>best_arcsec</code> and
<code>seeing_arcsec</code>; the README and the validation notes of Nebulor say how each is made and which to
quote. Readings without a best estimate count for the classical figures only.</li>
</ul>
)html";
}

}  // namespace

std::string siteReportHtml(const SiteStatistics& s, const SiteReportSource& source, bool nightPalette) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
      (source.site.empty() ? std::string("Seeing") : "Seeing at " + escaped(source.site)) +
      "</title>\n<style>\n:root { " + (nightPalette ? kNightColours : kDayColours) + " }" + kStyle +
      "</style></head>\n<body>\n";
  html += heading(s, source);
  html += summarySection(s);
  html +=
      "<h2 id=\"distribution\">Cumulative distribution</h2>\n" +
      figure(s, SiteChart::distribution, nightPalette,
             "The percent of all measured time with seeing better than the value across: the best estimate, "
             "and fainter the classical value. Where a curve crosses 50% is its median.");
  html += "<h2 id=\"histogram\">Histogram</h2>\n" +
          figure(s, SiteChart::histogram, nightPalette,
                 "Hours of measured time per 0.1 arcsec of best estimate; the line marks the median.");
  html += "<h2 id=\"by-hour\">Through the night</h2>\n" +
          figure(s, SiteChart::byHour, nightPalette,
                 "The best estimate in each hour of the local clock, over all nights: the median (bar), the "
                 "quartiles (box) and the 10% and 90% points (line) of the measured time in that hour.") +
          partsTable(s.bestByHour, "hour", 3);
  html += "<h2 id=\"by-month\">Month by month</h2>\n" +
          figure(s, SiteChart::byMonth, nightPalette,
                 "The best estimate in each month (of the nights' evenings): the median (bar), the quartiles "
                 "(box) and the 10% and 90% points (line) of that month's measured time.") +
          partsTable(s.bestByMonth, "month", 3);
  html += tau0Section(s);
  html += nightsSection(s);
  html += methodSection();
  html += "<p class=\"dim\">Written by " + escaped(source.program) + ".</p>\n</body></html>\n";
  return html;
}

}  // namespace nebulor
