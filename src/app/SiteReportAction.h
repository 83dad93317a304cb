#pragma once

#include <QAction>
#include <functional>
#include <string>

#include "app/SiteReport.h"

class QThread;

namespace nebulor {

// "Site report..." of the window's context menu: the report of every
// readings log in the data folder, written to SiteReport.html there and
// opened in the desktop's browser; what fails is said in a message. The
// logs are read in a thread of their own, so monitoring goes on meanwhile.
class SiteReportAction : public QAction {
  Q_OBJECT

 public:
  // nightPalette: whether the report is to be red on black, asked each time.
  SiteReportAction(std::string folder, std::function<bool()> nightPalette, QWidget* parent);
  ~SiteReportAction() override;

 private:
  void start();
  void finish();

  std::string folder_;
  std::function<bool()> nightPalette_;
  QWidget* parent_;
  SiteReportRequest request_;
  SiteSurveyed surveyed_;
  QThread* worker_ = nullptr;
};

}  // namespace nebulor
