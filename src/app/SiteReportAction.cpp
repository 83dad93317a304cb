#include "app/SiteReportAction.h"

#include <QDesktopServices>
#include <QThread>
#include <QUrl>
#include <QWidget>
#include <exception>
#include <iostream>

#include "display/MessageBox.h"

namespace nebulor {

namespace {

const QString kCaption = QStringLiteral("Site report...");

}  // namespace

SiteReportAction::SiteReportAction(std::string folder, std::function<bool()> nightPalette, QWidget* parent)
    : QAction(kCaption, parent),
      folder_(std::move(folder)),
      nightPalette_(std::move(nightPalette)),
      parent_(parent) {
  setObjectName(QStringLiteral("SiteReportAction"));
  connect(this, &QAction::triggered, this, &SiteReportAction::start);
}

// A survey under way ends before the window goes: it takes seconds at most.
SiteReportAction::~SiteReportAction() {
  if (worker_) worker_->wait();
}

void SiteReportAction::start() {
  if (worker_) return;
  request_ = SiteReportRequest{{folder_}, "", "", "", nightPalette_(), folder_ + kSiteReportFileName};
  setEnabled(false);
  setText(QStringLiteral("Site report (reading the logs)"));
  worker_ = QThread::create([this] {
    // Nothing may leave the thread: what went wrong is said like any failure.
    try {
      surveyed_ = surveySite(request_);
    } catch (const std::exception& error) {
      surveyed_.failure = Failure{error.what()};
    }
  });
  connect(worker_, &QThread::finished, this, &SiteReportAction::finish);
  worker_->start();
}

void SiteReportAction::finish() {
  worker_->deleteLater();
  worker_ = nullptr;
  setEnabled(true);
  setText(kCaption);
  for (const std::string& note : surveyed_.notes) std::cerr << "nebulor: " << note << '\n';
  std::optional<Failure> failure = surveyed_.failure;
  if (failure) {
    failure->reason = "There is no site report to write: " + failure->reason + " in " + folder_ + '.';
  } else {
    failure = writeSiteReport(request_, surveyed_);
  }
  surveyed_ = SiteSurveyed();
  if (!failure && !QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(request_.output))))
    failure = Failure{"The site report was written to " + request_.output +
                      ", but no browser could be opened on it."};
  if (failure) showMessageBox(parent_, QString::fromStdString(failure->reason));
}

}  // namespace nebulor
