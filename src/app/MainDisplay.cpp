#include "app/MainDisplay.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <iostream>
#include <optional>
#include <thread>

#include "Version.h"
#include "app/SiteReportAction.h"
#include "config/ConfigFile.h"
#include "config/SetupDialog.h"
#include "core/CatchAll.h"
#include "core/NumberText.h"
#include "display/HistoryPlot.h"
#include "display/MessageBox.h"
#include "display/NightChartWindow.h"
#include "display/NightPalette.h"
#include "display/ResultsDisplay.h"
#include "display/WindowFont.h"

namespace nebulor {

namespace {

// Design-time fonts of the window.
struct FontKind {
  double points;
  bool bold;
};
constexpr FontKind kDefaultFont{8.25, false};
constexpr FontKind kLargeFont{13.5, false};
constexpr FontKind kBoldFont{9.75, true};
constexpr FontKind kSmallBoldFont{8.25, true};

// A button whose caption breaks between words onto further lines when it is
// wider than the button, as "Start Monitoring" does in its 89-pixel button.
class CaptionButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    painter.drawItemText(area, Qt::AlignCenter | Qt::TextWordWrap, palette(), isEnabled(), text(),
                         QPalette::ButtonText);
  }
};

template <typename Control>
Control* place(Control* control, const char* name, QRect geometry, FontKind font) {
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(geometry);
  control->setFont(windowFont(font.points, font.bold));
  return control;
}

// Labels keep their designed size: text from the top-left corner on an
// opaque background, broken between words, the rest cut off at the edges.
QLabel* makeLabel(QWidget* parent, const char* name, const char* text, QRect geometry, FontKind font) {
  auto* label = place(new QLabel(QString::fromLatin1(text), parent), name, geometry, font);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(true);
  label->setAutoFillBackground(true);
  return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* text, QRect geometry, FontKind font) {
  auto* button = place(new CaptionButton(QString::fromLatin1(text), parent), name, geometry, font);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

MainDisplay::MainDisplay(MonitorState& state, std::string configFolder, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      state_(state),
      configFolder_(std::move(configFolder)) {
  setObjectName(QStringLiteral("MainDisplay"));
  setWindowTitle(QStringLiteral("Nebulor"));
  setFixedSize(282, 445);
  setFont(windowFont());

  // Created in tab order.
  Label3 = makeLabel(this, "Label3", "Seeing FWHM:", {8, 8, 137, 25}, kLargeFont);
  LabelSeeingFWHM = makeLabel(this, "LabelSeeingFWHM", "", {160, 8, 113, 25}, kLargeFont);
  Label9 = makeLabel(this, "Label9", " Seeing r0:", {64, 48, 81, 17}, kBoldFont);
  LabelSeeingR0 = makeLabel(this, "LabelSeeingR0", "", {160, 48, 105, 17}, kBoldFont);
  Label11 = makeLabel(this, "Label11", "Star 1 @", {8, 152, 49, 17}, kDefaultFont);
  LabelStar1Coords = makeLabel(this, "LabelStar1Coords", "", {64, 152, 73, 17}, kDefaultFont);
  CommandStartAbort = makeButton(this, "CommandStartAbort", "Start Monitoring", {32, 336, 89, 37}, kBoldFont);
  CommandSelect = makeButton(this, "CommandSelect", "Select Stars", {160, 336, 89, 37}, kBoldFont);
  CommandSetup = makeButton(this, "CommandSetup", "Setup", {32, 392, 89, 33}, kSmallBoldFont);
  Frame1 = place(new QGroupBox(QStringLiteral("Seeing History : FWHM in arcsecs"), this), "Frame1",
                 {8, 208, 265, 105}, kDefaultFont);
  PictureFWHM = place(new HistoryPlot(Frame1), "PictureFWHM", {8, 16, 249, 81}, kDefaultFont);
  Label1 = makeLabel(this, "Label1", "Star 2 @", {144, 152, 49, 17}, kDefaultFont);
  LabelStar2Coords = makeLabel(this, "LabelStar2Coords", "", {200, 152, 73, 17}, kDefaultFont);
  Label2 = makeLabel(this, "Label2", "Longitude stddev:", {8, 80, 89, 17}, kDefaultFont);
  Label4 = makeLabel(this, "Label4", "Transverse stddev:", {144, 80, 97, 17}, kDefaultFont);
  LabelLongDev = makeLabel(this, "LabelLongDev", "", {104, 80, 33, 17}, kDefaultFont);
  LabelTransDev = makeLabel(this, "LabelTransDev", "", {248, 80, 25, 17}, kDefaultFont);
  Label5 = makeLabel(this, "Label5", "Star 1 moved:", {8, 176, 73, 17}, kDefaultFont);
  LabelStar1Moved = makeLabel(this, "LabelStar1Moved", "", {96, 176, 33, 17}, kDefaultFont);
  Label6 = makeLabel(this, "Label6", "Star 2 moved:", {144, 176, 73, 17}, kDefaultFont);
  LabelStar2Moved = makeLabel(this, "LabelStar2Moved", "", {232, 176, 33, 17}, kDefaultFont);
  CommandAbout = makeButton(this, "CommandAbout", "About", {160, 392, 89, 33}, kSmallBoldFont);
  Label7 = makeLabel(this, "Label7", "Failed Star Detection:", {32, 104, 105, 17}, kDefaultFont);
  LabelBadReadings = makeLabel(this, "LabelBadReadings", "", {160, 104, 41, 17}, kDefaultFont);
  LabelBadReadings->setToolTip(QStringLiteral(
      "Percentage of readings where star was not detected, non-zero values indicate very poor seeing"));

  setTabOrder(CommandStartAbort, CommandSelect);
  setTabOrder(CommandSelect, CommandSetup);
  setTabOrder(CommandSetup, CommandAbout);

  fSetup = new SetupDialog(this);

  connect(CommandStartAbort, &QPushButton::clicked, this, &MainDisplay::startAbortClicked);
  connect(CommandSelect, &QPushButton::clicked, this, &MainDisplay::selectClicked);
  connect(CommandSetup, &QPushButton::clicked, this, &MainDisplay::CommandSetup_Click);
  connect(CommandAbout, &QPushButton::clicked, this, &MainDisplay::CommandAbout_Click);

  // A right click anywhere on the window offers the night view and the exposure-time correction.
  nightView_ = new QAction(QStringLiteral("Night view"), this);
  nightView_->setObjectName(QStringLiteral("NightView"));
  nightView_->setCheckable(true);
  addAction(nightView_);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(nightView_, &QAction::toggled, this, [this](bool night) {
    useNightPalette(night);
    PictureFWHM->setNightView(night);
    if (nightChart_) nightChart_->setNightView(night);
    emit nightViewChanged(night);
  });
  if (state_.feed != nullptr) {  // the chart follows the readings published
    auto* nightChart = new QAction(QStringLiteral("Night chart"), this);
    nightChart->setObjectName(QStringLiteral("NightChartAction"));
    addAction(nightChart);
    connect(nightChart, &QAction::triggered, this, &MainDisplay::showNightChart);
  }
  addAction(new SiteReportAction(
      configFolder_, [this] { return nightView_->isChecked(); }, this));
  exposureCorrection_ =
      addSwitch(QStringLiteral("Exposure-time correction"), QStringLiteral("ExposureCorrection"),
                &MonitorState::exposureCorrection, &MainDisplay::exposureCorrectionChanged);
  fastAcquisition_ = addSwitch(QStringLiteral("Fast acquisition"), QStringLiteral("FastAcquisition"),
                               &MonitorState::fastAcquisition, &MainDisplay::fastAcquisitionChanged);
}

// A measurement switch of the context menu: it sets its state member and says so.
QAction* MainDisplay::addSwitch(const QString& text, const QString& name, bool MonitorState::*member,
                                void (MainDisplay::*changed)(bool)) {
  auto* action = new QAction(text, this);
  action->setObjectName(name);
  action->setCheckable(true);
  addAction(action);
  connect(action, &QAction::toggled, this, [this, member, changed](bool on) {
    state_.*member = on;
    emit(this->*changed)(on);
  });
  return action;
}

// A window of its own, so the main window's layout stays as it is.
void MainDisplay::showNightChart() {
  if (!nightChart_) {
    nightChart_ = new NightChartWindow(*state_.feed, this);
    nightChart_->setNightView(nightView_->isChecked());
  }
  nightChart_->refresh();
  nightChart_->show();
  nightChart_->raise();
  nightChart_->activateWindow();
}

void MainDisplay::setNightView(bool night) { nightView_->setChecked(night); }

void MainDisplay::setExposureCorrection(bool on) { exposureCorrection_->setChecked(on); }

void MainDisplay::setFastAcquisition(bool on) { fastAcquisition_->setChecked(on); }

void MainDisplay::setCommandEnabled(Command command, bool enabled) {
  switch (command) {
    case Command::StartAbort:
      CommandStartAbort->setEnabled(enabled);
      break;
    case Command::Select:
      CommandSelect->setEnabled(enabled);
      break;
    case Command::Setup:
      CommandSetup->setEnabled(enabled);
      break;
  }
}

void MainDisplay::setStartAbortCaption(const std::string& caption) {
  CommandStartAbort->setText(QString::fromStdString(caption));
}

void MainDisplay::setStarCoords(int star, const std::string& text) {
  if (star != 1 && star != 2) return;
  (star == 1 ? LabelStar1Coords : LabelStar2Coords)->setText(QString::fromStdString(text));
}

void MainDisplay::setStarMoved(int star, double distance) {
  if (star != 1 && star != 2) return;
  // The flows pass the read-out already truncated to one decimal.
  (star == 1 ? LabelStar1Moved : LabelStar2Moved)
      ->setText(QString::fromStdString(doubleText(distance)).replace('.', locale().decimalPoint()));
}

void MainDisplay::updateDisplay() {
  const ResultsModel model = buildResultsModel(state_, decimalSeparator());
  CommandStartAbort->setEnabled(model.startAbortEnabled);
  PictureFWHM->showModel(model);
  LabelSeeingFWHM->setText(QString::fromStdString(model.seeingFwhm));
  seeingTip_ = QString::fromStdString(model.seeingTip);
  if (!readingSkipped_) LabelSeeingFWHM->setToolTip(seeingTip_);
  LabelSeeingR0->setText(QString::fromStdString(model.seeingR0));
  LabelLongDev->setText(QString::fromStdString(model.longDev));
  LabelTransDev->setText(QString::fromStdString(model.transDev));
  LabelBadReadings->setText(QString::fromStdString(model.badReadings));
  if (nightChart_ && nightChart_->isVisible()) nightChart_->refresh();  // the reading just published
}

void MainDisplay::showRejectedShare() {
  LabelBadReadings->setText(QString::fromStdString(rejectedShareText(state_, decimalSeparator())));
}

// Shown in the title and, in full, as the seeing read-out's tooltip: a modal
// box would halt the exposures until someone came to dismiss it.
void MainDisplay::showSkippedReading(const std::string& reason) {
  if (reason.empty()) {
    if (!readingSkipped_) return;
    readingSkipped_ = false;
    setWindowTitle(QStringLiteral("Nebulor"));
    LabelSeeingFWHM->setToolTip(seeingTip_);
    return;
  }
  std::cerr << "nebulor: " << reason << std::endl;
  readingSkipped_ = true;
  setWindowTitle(QStringLiteral("Nebulor - reading skipped"));
  LabelSeeingFWHM->setToolTip(QString::fromStdString(reason));
}

void MainDisplay::showMessage(const std::string& text) { showMessageBox(this, QString::fromStdString(text)); }

void MainDisplay::beep() { QApplication::beep(); }

void MainDisplay::dispatchEvents() { QCoreApplication::processEvents(); }

void MainDisplay::sleep(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

bool MainDisplay::windowClosing() const { return closing_; }

QString MainDisplay::aboutText() {
  return QStringLiteral("Nebulor DIMM seeing monitor by the Nebulor developers (nebulor@example.org)") +
         QStringLiteral(" - Version ") + QString::fromLatin1(kVersionText);
}

void MainDisplay::closeEvent(QCloseEvent* event) {
  closing_ = true;
  event->accept();
  emit windowClosed();
}

void MainDisplay::paintEvent(QPaintEvent*) {
  // Line1, separating the results from the star positions.
  QPainter painter(this);
  painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
  painter.drawLine(8, 136, 272, 136);
}

void MainDisplay::CommandSetup_Click() {
  if (state_.mode != ProgramMode::idle) return;  // a click queued before the command was disabled
  std::optional<Failure> failure;
  // Every closing of the dialog saves, whatever closed it.
  if (const auto error = runCatchingAll([&] {
        // OK confirmed all seven values, each checked: after a start-up that
        // could not load the configuration, they now count as loaded.
        if (fSetup->edit(state_.config)) state_.configLoaded = true;
        failure = SaveConfig(state_.config, state_.configLoaded, configFolder_);
      })) {
    failure = error;
  }
  if (failure) showMessage(failure->reason);
}

void MainDisplay::CommandAbout_Click() {
  showMessageBox(
      this,
      aboutText() + QStringLiteral("\n\nconfig.ini and the logs are kept in ") +
          QString::fromStdString(configFolder_) + QStringLiteral("\n\nExposure-time correction: ") +
          (!state_.exposureCorrection  ? QStringLiteral("off")
           : state_.fixedExtrapolation ? QStringLiteral("on, by the fixed extrapolation")
                                       : QStringLiteral("on")) +
          QStringLiteral("\nFast acquisition: ") +
          (state_.fastAcquisition ? QStringLiteral("on, a reading per minute of frames")
                                  : QStringLiteral("off")) +
          QStringLiteral("\n\nThe coherence time tau0 = 0.314 r0 / V is how long the wavefront stays the "
                         "same, the time adaptive optics and interferometry must work within. V is the "
                         "turbulence-weighted wind speed, from how fast the stars' motion decorrelates "
                         "between frames, or between exposures of t and 2t."));
}

std::string MainDisplay::decimalSeparator() const { return locale().decimalPoint().toStdString(); }

}  // namespace nebulor
