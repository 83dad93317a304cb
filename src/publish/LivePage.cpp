#include "publish/LivePage.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "core/StarFwhm.h"

namespace nebulor {

namespace {

constexpr const char* kPage = R"html(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Nebulor seeing</title>
<style>
:root { color-scheme: light dark; --text: #111; --dim: #555; --back: #fff; }
@media (prefers-color-scheme: dark) { :root { --text: #c80000; --dim: #8c0000; --back: #000; } }
body { font-family: sans-serif; color: var(--text); background: var(--back); margin: 1.5em; max-width: 44em; }
h1 { font-size: 1.2em; font-weight: normal; margin: 0 0 .5em; }
#best { font-size: 3.5em; font-weight: bold; }
#error { font-size: 1.8em; font-weight: bold; }
#headline { display: flex; flex-wrap: wrap; align-items: baseline; column-gap: .8em; }
.beside { white-space: nowrap; }
#seeing { font-size: 1.4em; }
#tau0, #wind { font-size: 1.2em; }
#state { font-size: 1.1em; margin: .3em 0 1em; }
table { border-collapse: collapse; margin-bottom: 1em; }
td { padding: .15em 1em .15em 0; }
td:first-child, .dim { color: var(--dim); }
#chart { width: 100%; height: auto; display: block; }
[hidden] { display: none !important; }
#nochart { border: 1px dashed var(--dim); padding: 3em 0; text-align: center; }
</style></head>
<body data-refreshes="0">
<h1>Nebulor seeing monitor</h1>
<div id="headline"><span><span id="best">-</span> <span id="error"></span> <span class="dim">arcsec</span></span>
<span class="beside"><span class="dim">classical</span> <span id="seeing">-</span></span>
<span class="beside"><span class="dim">tau0</span> <span id="tau0">-</span> <span class="dim">ms</span></span>
<span class="beside"><span class="dim">wind</span> <span id="wind">-</span> <span class="dim">m/s</span></span></div>
<div id="about" class="dim">Seeing: best estimate and its 1-sigma error; the classical DIMM value beside it,
then the coherence time tau0 and the turbulence-weighted wind that sets it (- where not measured).</div>
<div id="state">-</div>
<table>
<tr><td>StarFWHM (zenith, 500 nm)</td><td id="fwhm">-</td></tr>
<tr><td>r0</td><td id="r0">-</td></tr>
<tr><td>Airmass</td><td id="airmass">-</td></tr>
<tr><td>Rejected exposures</td><td id="rejected">-</td></tr>
<tr><td>Reading taken</td><td id="time">-</td></tr>
</table>
<div id="chartbox"><div id="nochart" class="dim">no reading yet</div>
<img id="chart" alt="The night's seeing" hidden></div>
<p class="dim">Updated every 10 s. Observatory software reads the same values as the ASCOM Alpaca
ObservingConditions device on this port.</p>
<script>
const fixed = (v, d) => (v === null ? "-" : v.toFixed(d));
const put = (id, text) => { document.getElementById(id).textContent = text; };
const chart = document.getElementById("chart");
const noChart = document.getElementById("nochart");
const showChart = (shown, why) => {
  chart.hidden = !shown;
  noChart.hidden = shown;
  if (why) noChart.textContent = why;
};
chart.onload = () => showChart(true);
chart.onerror = () => showChart(false, "no chart: Nebulor did not send it");
async function refresh() {
  try {
    const s = await (await fetch("status.json", { cache: "no-store" })).json();
    put("best", fixed(s.best, 2));
    put("error", s.bestError === null ? "" : "\u00b1 " + fixed(s.bestError, 2));
    put("seeing", fixed(s.seeing, 2));
    const withError = (v, e, d) => (v === null ? "-" : fixed(v, d) + " \u00b1 " + fixed(e, d));
    put("tau0", withError(s.tau0, s.tau0Error, 2));
    put("wind", withError(s.wind, s.windError, 1));
    if (s.exposureTime !== null) {
      put("about", "Seeing: best estimate and its 1-sigma error, " +
          (s.exposureTime === 0 ? "corrected to zero exposure time"
                                : "at " + fixed(1000 * s.exposureTime, 1) + " ms exposures, uncorrected") +
          "; the classical DIMM value beside it, then the coherence time tau0 and the " +
          "turbulence-weighted wind that sets it (- where not measured).");
    }
    put("state", s.state);
    put("fwhm", s.starFwhm === null ? "-" : fixed(s.starFwhm, 2) + " arcsec");
    put("r0", s.r0 === null ? "-" : fixed(s.r0, 1) + " cm");
    put("airmass", fixed(s.airmass, 2));
    put("rejected", s.rejectedPercent === null ? "-" : fixed(s.rejectedPercent, 0) + " %");
    put("time", s.time === null ? "-" : s.time);
    if (s.readings === 0) {
      showChart(false, "no reading yet");
    } else {
      // Drawn for the width it is shown at, so that its labels read at their own size.
      const dark = window.matchMedia("(prefers-color-scheme: dark)").matches;
      chart.src = "chart.png?palette=" + (dark ? "night" : "day") +
                  "&width=" + document.getElementById("chartbox").clientWidth +
                  "&scale=" + (window.devicePixelRatio || 1) + "&readings=" + s.readings;
    }
  } catch (e) {
    put("state", "Nebulor does not answer");
  }
  document.body.dataset.refreshes = Number(document.body.dataset.refreshes) + 1;
}
refresh();
setInterval(refresh, 10000);
</script>
</body></html>
)html";

constexpr const char* kSetupPage = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Nebulor setup</title>
<style>:root { color-scheme: light dark; }
@media (prefers-color-scheme: dark) { body { color: #c80000; background: #000; } a { color: #ff2020; } }</style>
</head><body><h1>Nebulor</h1>
<p>The seeing monitor has nothing to set up through Alpaca: its instrument values are set in its own
Setup dialog. The <a href="/">live page</a> shows what it measures.</p></body></html>
)";

QJsonValue orNull(const std::optional<double>& value) { return value ? QJsonValue(*value) : QJsonValue(); }

}  // namespace

WebAnswer livePage() { return {200, "text/html; charset=utf-8", kPage}; }

WebAnswer setupPage() { return {200, "text/html; charset=utf-8", kSetupPage}; }

QString stateText(const FeedSnapshot& feed, WallClock::time_point now) {
  switch (feed.mode) {
    case ProgramMode::idle:
      return QStringLiteral("idle");
    case ProgramMode::selecting:
      return QStringLiteral("selecting the stars");
    case ProgramMode::running:
    case ProgramMode::stopping:
      break;
  }
  const auto& r = feed.readings;
  WallClock::time_point last = feed.modeSince;
  WallClock::duration patience = kCloudsAfter;
  if (!r.empty() && r.back().time > last) last = r.back().time;
  if (r.size() >= 2 && r[r.size() - 2].time >= feed.modeSince) {
    patience = std::max(patience, 3 * (r.back().time - r[r.size() - 2].time));
  }
  if (now - last < patience) return QStringLiteral("monitoring");
  const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(now - last).count();
  return QStringLiteral("clouds: no reading for %1 minutes").arg(minutes);
}

WebAnswer liveStatus(const FeedSnapshot& feed, WallClock::time_point now) {
  QJsonObject status{{"state", stateText(feed, now)},
                     {"readings", static_cast<qint64>(feed.readings.size())}};
  const Reading* latest = feed.readings.empty() ? nullptr : &feed.readings.back();
  status.insert("time", latest ? QJsonValue(QDateTime::fromSecsSinceEpoch(latest->seconds())
                                                .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                               : QJsonValue());
  status.insert("seeing", latest ? QJsonValue(latest->seeing) : QJsonValue());
  status.insert("best", latest ? orNull(latest->best) : QJsonValue());
  status.insert("bestError", latest ? orNull(latest->bestError) : QJsonValue());
  status.insert("starFwhm", latest ? orNull(starFwhm(*latest)) : QJsonValue());
  status.insert("r0", latest ? orNull(latest->r0) : QJsonValue());
  status.insert("airmass", latest ? QJsonValue(latest->airmass) : QJsonValue());
  const int taken = latest ? latest->exposuresUsed + latest->exposuresRejected : 0;
  status.insert("rejectedPercent",
                taken > 0 ? QJsonValue(100.0 * latest->exposuresRejected / taken) : QJsonValue());
  status.insert("exposureTime", latest ? orNull(latest->bestExposure) : QJsonValue());
  status.insert("tau0", latest ? orNull(latest->tau0) : QJsonValue());
  status.insert("tau0Error", latest ? orNull(latest->tau0Error) : QJsonValue());
  status.insert("wind", latest ? orNull(latest->wind) : QJsonValue());
  status.insert("windError", latest ? orNull(latest->windError) : QJsonValue());
  return {200, "application/json", QJsonDocument(status).toJson(QJsonDocument::Compact)};
}

}  // namespace nebulor
