#pragma once

#include <QWidget>
#include <chrono>
#include <string>

#include "core/MonitorState.h"
#include "core/MonitorUi.h"

class QAction;
class QLabel;
class QGroupBox;
class QPushButton;

namespace nebulor {

class HistoryPlot;
class NightChartWindow;
class SetupDialog;

// The main window: read-outs, the seeing-history plot and the four
// commands. Setup and About run here; "Start Monitoring" and "Select Stars"
// only emit their signals, for the flows that own those operations.
class MainDisplay : public QWidget, public MonitorUi {
  Q_OBJECT

 public:
  // configFolder is where config.ini and the logs are kept; About names it.
  MainDisplay(MonitorState& state, std::string configFolder, QWidget* parent = nullptr);

  // MonitorUi
  void setCommandEnabled(Command command, bool enabled) override;
  void setStartAbortCaption(const std::string& caption) override;
  void setStarCoords(int star, const std::string& text) override;
  void setStarMoved(int star, double distance) override;
  void updateDisplay() override;
  void showRejectedShare() override;
  void showSkippedReading(const std::string& reason) override;
  void showMessage(const std::string& text) override;
  void beep() override;
  void dispatchEvents() override;
  void sleep(std::chrono::milliseconds duration) override;
  bool windowClosing() const override;

  // The About text: credit line, then " - Version " and the version.
  static QString aboutText();

  // The red night view of the whole program, as the window's context menu
  // switches it; nightViewChanged follows every change.
  void setNightView(bool night);

  // The exposure-time correction as the context menu switches it, from the
  // next reading on; exposureCorrectionChanged follows every change.
  void setExposureCorrection(bool on);
  // Fast acquisition likewise, from the next run on.
  void setFastAcquisition(bool on);

 signals:
  void startAbortClicked();
  void selectClicked();
  // The user closed the window; windowClosing() is true from now on.
  void windowClosed();
  void nightViewChanged(bool night);
  void exposureCorrectionChanged(bool on);
  void fastAcquisitionChanged(bool on);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QAction* addSwitch(const QString& text, const QString& name, bool MonitorState::*member,
                     void (MainDisplay::*changed)(bool));
  void CommandSetup_Click();
  void CommandAbout_Click();
  void showNightChart();
  std::string decimalSeparator() const;

  MonitorState& state_;
  std::string configFolder_;
  QString seeingTip_;            // the seeing read-out's tooltip: the best estimate
  bool readingSkipped_ = false;  // until the next good reading, the tooltip gives the reason
  bool closing_ = false;

  QLabel* Label3;
  QLabel* LabelSeeingFWHM;
  QLabel* Label9;
  QLabel* LabelSeeingR0;
  QLabel* Label11;
  QLabel* LabelStar1Coords;
  QPushButton* CommandStartAbort;
  QPushButton* CommandSelect;
  QPushButton* CommandSetup;
  QGroupBox* Frame1;
  HistoryPlot* PictureFWHM;
  QLabel* Label1;
  QLabel* LabelStar2Coords;
  QLabel* Label2;
  QLabel* Label4;
  QLabel* LabelLongDev;
  QLabel* LabelTransDev;
  QLabel* Label5;
  QLabel* LabelStar1Moved;
  QLabel* Label6;
  QLabel* LabelStar2Moved;
  QPushButton* CommandAbout;
  QLabel* Label7;
  QLabel* LabelBadReadings;
  SetupDialog* fSetup;
  QAction* nightView_;
  QAction* exposureCorrection_;
  QAction* fastAcquisition_;
  NightChartWindow* nightChart_ = nullptr;  // made when first asked for
};

}  // namespace nebulor
