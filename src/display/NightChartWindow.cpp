#include "display/NightChartWindow.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/NumberText.h"
#include "display/MessageBox.h"
#include "measure/NightSummary.h"

namespace nebulor {

namespace {

constexpr std::time_t kSummaryInterval = 60;  // s

// The chart at the widget's size, kept as a picture: a reading that leaves
// the axes as they are is drawn on it alone, so a long night costs no more
// per reading than a short one.
class ChartView : public QWidget {
 public:
  ChartView(const NightChart& chart, const bool& night, QWidget* parent)
      : QWidget(parent), chart_(chart), night_(night) {
    setMinimumSize(640, 360);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    const std::size_t readings = chart_.night().readings.size();
    const ChartRanges ranges = chart_.ranges();
    if (picture_.size() != size() || ranges != ranges_ || night_ != pictureNight_ || readings < painted_ ||
        chart_.night().date != date_) {
      picture_ = QImage(size(), QImage::Format_RGB32);
      painted_ = 0;
    }
    if (painted_ == 0 || readings > painted_) {
      QPainter painter(&picture_);
      chart_.paintFrom(painter, picture_.rect(), night_, painted_);
    }
    painted_ = readings;
    ranges_ = ranges;
    pictureNight_ = night_;
    date_ = chart_.night().date;
    QPainter(this).drawImage(0, 0, picture_);
  }

 private:
  const NightChart& chart_;
  const bool& night_;
  QImage picture_;
  std::size_t painted_ = 0;  // readings on the picture
  ChartRanges ranges_;
  bool pictureNight_ = false;
  std::string date_;
};

QString arcsec(double value) {
  return QString::fromStdString(fixedText(value, 2)) + QStringLiteral(" arcsec");
}

QString seeingLine(const QString& name, const SeeingSummary& s) {
  if (s.readings == 0) return name + QStringLiteral(": none");
  QString text =
      QStringLiteral(
          "%1: median %2 (quartiles %3 to %4); better than 0.8 arcsec %5% and 1.0 arcsec %6% of the time")
          .arg(name, arcsec(s.median), QString::fromStdString(fixedText(s.q1, 2)),
               QString::fromStdString(fixedText(s.q3, 2)), QString::fromStdString(fixedText(s.below08, 0)),
               QString::fromStdString(fixedText(s.below10, 0)));
  if (s.best30) {
    text += QStringLiteral("; best 30 minutes %1 from %2")
                .arg(arcsec(*s.best30), QString::fromStdString(clockText(*s.best30Start)));
  }
  return text + QLatin1Char('.');
}

}  // namespace

NightChartWindow::NightChartWindow(const ReadingsFeed& feed, QWidget* parent)
    : QWidget(parent, Qt::Window), feed_(feed) {
  setObjectName(QStringLiteral("NightChart"));
  setWindowTitle(QStringLiteral("Nebulor - night chart"));
  view_ = new ChartView(chart_, night_, this);
  view_->setObjectName(QStringLiteral("NightChartView"));
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("NightSummary"));
  summary_->setTextFormat(Qt::PlainText);
  summary_->setWordWrap(true);
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* save = new QPushButton(QStringLiteral("Save picture"), this);
  save->setObjectName(QStringLiteral("SavePicture"));
  connect(save, &QPushButton::clicked, this, &NightChartWindow::savePicture);
  auto* row = new QHBoxLayout;
  row->addWidget(summary_, 1);
  row->addWidget(save, 0, Qt::AlignTop);
  auto* column = new QVBoxLayout(this);
  column->addWidget(view_, 1);
  column->addLayout(row);
  resize(960, 640);
  refresh();
}

void NightChartWindow::refresh() {
  const FeedSnapshot fresh = feed_.after(shown_);
  const bool first = !summarized_;
  if (!first && fresh.readings.empty()) return;  // nothing new
  const std::vector<Reading>& more = fresh.readings;
  // None lost to the feed's limit, and each after the last shown in its night.
  const bool sameNight =
      fresh.published - shown_ == more.size() && !chart_.night().readings.empty() &&
      std::all_of(more.begin(), more.end(), [this](const Reading& r) {
        return r.time >= chart_.night().readings.back().time && nightDate(r) == chart_.night().date;
      });
  if (sameNight) {
    chart_.append(more);
    shown_ = fresh.published;
  } else {
    const FeedSnapshot all = feed_.snapshot();
    chart_ = NightChart(selectNight(all.readings, ""), true);
    shown_ = all.published;
  }
  // The summary takes the whole night: once a minute of readings is enough for a night's figures.
  const std::vector<Reading>& shown = chart_.night().readings;
  const std::time_t latest = shown.empty() ? 0 : shown.back().seconds();
  if (first || !sameNight || latest - *summarized_ >= kSummaryInterval) {
    summary_->setText(summaryText());
    summarized_ = latest;
  }
  view_->update();
}

void NightChartWindow::setNightView(bool night) {
  night_ = night;
  view_->update();
}

QString NightChartWindow::summaryText() const {
  if (chart_.night().readings.empty()) return QStringLiteral("No readings yet tonight.");
  const NightSummary s = summarizeNight(chart_.night());
  return QStringLiteral("%1 readings over %2 hours; %3% of the exposures rejected.\n%4\n%5%6")
      .arg(s.readings)
      .arg(QString::fromStdString(fixedText(s.hours, 2)),
           QString::fromStdString(fixedText(s.rejectedShare, 1)),
           seeingLine(QStringLiteral("Best estimate"), s.best),
           seeingLine(QStringLiteral("Classical"), s.classical),
           s.tau0Median ? QStringLiteral("\nCoherence time tau0: median %1 ms.")
                              .arg(QString::fromStdString(fixedText(*s.tau0Median, 2)))
                        : QString());
}

void NightChartWindow::savePicture() {
  const QString suggested = QStringLiteral("Seeing-%1.png").arg(QString::fromStdString(chart_.night().date));
  QString filter;
  QString path =
      QFileDialog::getSaveFileName(this, QStringLiteral("Save picture"), suggested,
                                   QStringLiteral("PNG picture (*.png);;SVG picture (*.svg)"), &filter);
  if (path.isEmpty()) return;
  if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) &&
      !path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive))
    path += filter.contains(QStringLiteral("svg")) ? QStringLiteral(".svg") : QStringLiteral(".png");
  if (const std::optional<Failure> failure = chart_.save(path, view_->size(), night_))
    showMessageBox(this, QString::fromStdString(failure->reason));
}

}  // namespace nebulor
