#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <iterator>

#include "../support/WidgetTestSupport.h"
#include "app/MainDisplay.h"
#include "app/WindowPlacement.h"
#include "config/ConfigFile.h"
#include "core/NumberText.h"
#include "display/HistoryPlot.h"
#include "display/NightPalette.h"
#include "display/WindowFont.h"

namespace nebulor {
namespace {

using test_support::SeenMessage;

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class MainDisplayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test_support::widgetApp(); }

  MainDisplayTest() : window(state, folder.path().toStdString() + "/") {
    state.config = defaultConfig();
    state.configLoaded = true;
    state.historyCount = 1;
    state.sampleIndex = 1;
    state.stopRequested = kTrue;
  }

  template <typename Control = QWidget>
  Control* control(const char* name) {
    auto* found = window.findChild<Control*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QPushButton* button(const char* name) { return control<QPushButton>(name); }
  QString labelText(const char* name) { return control<QLabel>(name)->text(); }
  std::string configPath() const { return folder.path().toStdString() + "/config.ini"; }

  QTemporaryDir folder;
  MonitorState state;
  MainDisplay window;
};

TEST_F(MainDisplayTest, WindowIsFixedWithCloseButtonOnly) {
  EXPECT_EQ(window.windowTitle(), "Nebulor");
  EXPECT_EQ(window.minimumSize(), QSize(282, 445));
  EXPECT_EQ(window.maximumSize(), QSize(282, 445));
  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
}

TEST_F(MainDisplayTest, EveryControlShowsWholeAndClearOfTheOthers) {
  test_support::expectCleanLayout(window);
  // Each read-out sits on its caption's row, right of it.
  const std::pair<const char*, const char*> readouts[] = {
      {"Label3", "LabelSeeingFWHM"},  {"Label9", "LabelSeeingR0"},    {"Label2", "LabelLongDev"},
      {"Label4", "LabelTransDev"},    {"Label7", "LabelBadReadings"}, {"Label11", "LabelStar1Coords"},
      {"Label1", "LabelStar2Coords"}, {"Label5", "LabelStar1Moved"},  {"Label6", "LabelStar2Moved"}};
  for (const auto& [caption, readout] : readouts) {
    EXPECT_EQ(control(caption)->y(), control(readout)->y()) << readout;
    EXPECT_GE(control(readout)->x(), control(caption)->geometry().right()) << readout;
  }
  EXPECT_EQ(control("PictureFWHM")->parentWidget(), control("Frame1"));
  EXPECT_EQ(control("LabelBadReadings")->toolTip(),
            "Percentage of readings where star was not detected, non-zero values indicate very poor seeing");
}

TEST_F(MainDisplayTest, OnlyTheButtonsTakeFocusInTheirTabOrder) {
  std::vector<QString> order;
  QWidget* widget = button("CommandStartAbort");
  do {
    if (widget->focusPolicy() & Qt::TabFocus) order.push_back(widget->objectName());
    widget = widget->nextInFocusChain();
  } while (widget != button("CommandStartAbort"));
  const std::vector<QString> expected = {"CommandStartAbort", "CommandSelect", "CommandSetup",
                                         "CommandAbout"};
  EXPECT_EQ(order, expected);
}

TEST_F(MainDisplayTest, AfterStartupFocusIsOnSelectStars) {
  window.show();
  window.updateDisplay();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_EQ(QApplication::focusWidget(), button("CommandSelect"));
  EXPECT_FALSE(button("CommandStartAbort")->isEnabled());
  EXPECT_EQ(button("CommandStartAbort")->text(), "Start Monitoring");
  EXPECT_TRUE(button("CommandSelect")->isEnabled());
  EXPECT_TRUE(button("CommandSetup")->isEnabled());
  EXPECT_TRUE(button("CommandAbout")->isEnabled());
}

TEST_F(MainDisplayTest, RefreshSetsStartAbortFromStarsSelectedOnly) {
  window.setStartAbortCaption("Stop Monitoring");
  window.setCommandEnabled(MonitorUi::Command::Select, false);
  for (const Flag selected : {kTrue, kFalse, kTrue}) {
    state.starsSelected = selected;
    window.updateDisplay();
    EXPECT_EQ(button("CommandStartAbort")->isEnabled(), selected == kTrue);
    EXPECT_EQ(button("CommandStartAbort")->text(), "Stop Monitoring");
    EXPECT_FALSE(button("CommandSelect")->isEnabled());
  }
}

TEST_F(MainDisplayTest, RefreshWritesTheReadouts) {
  state.fwhmHistory[1] = 1.234f;
  state.historyCount = 2;
  state.longStdDev = 0.456;
  state.transStdDev = 1.5;
  state.badSampleCount = 1;
  window.updateDisplay();
  EXPECT_EQ(labelText("LabelSeeingFWHM"), "1.23 arcsecs");
  EXPECT_EQ(labelText("LabelSeeingR0"), "8.3 cm");
  EXPECT_EQ(labelText("LabelLongDev"), "0.45");
  EXPECT_EQ(labelText("LabelTransDev"), "1.5");
  EXPECT_EQ(labelText("LabelBadReadings"), "4.7%");
  const QImage& plot = control<HistoryPlot>("PictureFWHM")->image();
  EXPECT_EQ(plot.pixel(222, 5 + qRound(70 - 1.234 * 70 / 1.5)), qRgb(255, 0, 0));
}

TEST_F(MainDisplayTest, ReadoutsUseTheUsersDecimalSeparator) {
  window.setLocale(QLocale(QLocale::German, QLocale::Germany));
  state.fwhmHistory[1] = 1.234f;
  state.historyCount = 2;
  window.updateDisplay();
  window.setStarMoved(2, 3.4);
  EXPECT_EQ(labelText("LabelSeeingFWHM"), "1,23 arcsecs");
  EXPECT_EQ(labelText("LabelSeeingR0"), "8,3 cm");
  EXPECT_EQ(labelText("LabelStar2Moved"), "3,4");
}

TEST_F(MainDisplayTest, StarReadoutsGoToTheirStar) {
  window.setStarCoords(1, "53,48");
  window.setStarCoords(2, "120,7");
  window.setStarMoved(1, 0.7);
  window.setStarMoved(2, 12);
  window.setStarCoords(3, "ignored");
  window.setStarMoved(0, 9.9);
  EXPECT_EQ(labelText("LabelStar1Coords"), "53,48");
  EXPECT_EQ(labelText("LabelStar2Coords"), "120,7");
  EXPECT_EQ(labelText("LabelStar1Moved"), "0.7");
  EXPECT_EQ(labelText("LabelStar2Moved"), "12");
}

TEST_F(MainDisplayTest, ValueWiderThanItsLabelIsCutAtTheLabelEdge) {
  window.show();
  window.setStarMoved(1, 0.1);  // something known beside it
  QLabel* transDev = control<QLabel>("LabelTransDev");
  const QImage before = window.grab().toImage();
  transDev->setText("12345");
  const QImage after = window.grab().toImage();
  EXPECT_EQ(transDev->geometry(), QRect(248, 80, 25, 17));
  bool inkInside = false;
  for (int y = 80; y < 97; ++y) {
    for (int x = 248; x < 273; ++x) inkInside = inkInside || after.pixel(x, y) != before.pixel(x, y);
    // Right of the label up to the window's edge nothing changes.
    for (int x = 273; x < 282; ++x) EXPECT_EQ(after.pixel(x, y), before.pixel(x, y)) << x << "," << y;
  }
  EXPECT_TRUE(inkInside);
}

TEST_F(MainDisplayTest, SeparatorLineAcrossTheWindow) {
  window.show();
  const QImage image = window.grab().toImage();
  const QRgb line = window.palette().color(QPalette::WindowText).rgb();
  for (int x = 8; x <= 272; ++x) EXPECT_EQ(image.pixel(x, 136), line) << x;
  EXPECT_NE(image.pixel(7, 136), line);
  EXPECT_NE(image.pixel(273, 136), line);
  EXPECT_NE(image.pixel(100, 135), line);
  EXPECT_NE(image.pixel(100, 137), line);
}

TEST_F(MainDisplayTest, AboutShowsCreditAndVersion) {
  SeenMessage seen;
  test_support::closeNextMessage(seen);
  QTest::mouseClick(button("CommandAbout"), Qt::LeftButton);
  ASSERT_TRUE(seen.shown);
  EXPECT_EQ(seen.title, "Nebulor");
  EXPECT_TRUE(seen.text.startsWith("Nebulor")) << seen.text.toStdString();
  // The credit line and version, the folder of the files, the measurement switches.
  const QStringList paragraphs = seen.text.split(QStringLiteral("\n\n"));
  ASSERT_EQ(paragraphs.size(), 4) << seen.text.toStdString();
  EXPECT_TRUE(paragraphs[0].endsWith(") - Version 1.0.0")) << seen.text.toStdString();
  EXPECT_TRUE(paragraphs[0].contains('@'));
  EXPECT_TRUE(paragraphs[1].endsWith(folder.path() + "/")) << seen.text.toStdString();
  EXPECT_EQ(paragraphs[2], "Exposure-time correction: off\nFast acquisition: off");
  EXPECT_TRUE(paragraphs[3].contains("tau0 = 0.314 r0 / V")) << "what the two numbers are";
  EXPECT_EQ(seen.buttons, QMessageBox::Ok);
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
  EXPECT_EQ(seen.textFont, windowFont()) << "the windows' font";
}

TEST_F(MainDisplayTest, NightViewFromTheContextMenuKeepsLayoutAndFonts) {
  window.show();
  window.updateDisplay();
  struct Placed {
    QWidget* widget;
    QRect geometry;
    QFont font;
  };
  std::vector<Placed> before;
  for (QWidget* child : window.findChildren<QWidget*>())
    before.push_back({child, child->geometry(), child->font()});
  auto* nightView = window.findChild<QAction*>("NightView");
  ASSERT_NE(nightView, nullptr);
  EXPECT_EQ(window.contextMenuPolicy(), Qt::ActionsContextMenu);
  EXPECT_TRUE(window.actions().contains(nightView));
  QSignalSpy changed(&window, &MainDisplay::nightViewChanged);

  nightView->trigger();
  EXPECT_EQ(QApplication::palette().color(QPalette::Window), nightPalette().color(QPalette::Window));
  for (const Placed& placed : before) {
    EXPECT_EQ(placed.widget->geometry(), placed.geometry) << placed.widget->objectName().toStdString();
    EXPECT_EQ(placed.widget->font(), placed.font) << placed.widget->objectName().toStdString();
  }
  // Red light only, but for the faint white edge (about a sixth of full
  // light) that Qt's Fusion style draws inside buttons and frames whatever
  // the palette.
  constexpr int kStyleEdge = 48;
  const QImage image = window.grab().toImage();
  int red = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor lit = image.pixelColor(x, y);
      ASSERT_LE(std::max(lit.green(), lit.blue()), kStyleEdge) << x << "," << y;
      red += lit.red() > 2 * std::max(lit.green(), lit.blue()) + 40 ? 1 : 0;
    }
  }
  EXPECT_GT(red, 500);  // text, lines, buttons and plot

  window.setNightView(false);
  EXPECT_NE(QApplication::palette().color(QPalette::Window), nightPalette().color(QPalette::Window));
  ASSERT_EQ(changed.count(), 2);
  EXPECT_TRUE(changed[0][0].toBool());
  EXPECT_FALSE(changed[1][0].toBool());
}

TEST_F(MainDisplayTest, StartAndSelectOnlySignalTheFlows) {
  QSignalSpy startAbort(&window, &MainDisplay::startAbortClicked);
  QSignalSpy select(&window, &MainDisplay::selectClicked);
  QTest::mouseClick(button("CommandStartAbort"), Qt::LeftButton);
  QTest::mouseClick(button("CommandSelect"), Qt::LeftButton);
  window.setCommandEnabled(MonitorUi::Command::StartAbort, false);
  QTest::mouseClick(button("CommandStartAbort"), Qt::LeftButton);
  EXPECT_EQ(startAbort.count(), 1);
  EXPECT_EQ(select.count(), 1);
  EXPECT_EQ(button("CommandStartAbort")->text(), "Start Monitoring");  // the flows caption it
}

TEST_F(MainDisplayTest, ClosingTheWindowEndsEveryWait) {
  QSignalSpy closed(&window, &MainDisplay::windowClosed);
  window.show();
  EXPECT_FALSE(window.windowClosing());
  window.close();
  EXPECT_TRUE(window.windowClosing());
  EXPECT_EQ(closed.count(), 1);
}

// The Setup command: the dialog, then config.ini saved whatever closed it.
TEST_F(MainDisplayTest, SetupCancelStillWritesTheFile) {
  test_support::whenModalOpens([](QWidget& dialog) {
    dialog.findChild<QLineEdit*>("TextHoleDistance")->setText("99");
    QTest::mouseClick(dialog.findChild<QPushButton*>("Cancel"), Qt::LeftButton);
  });
  QTest::mouseClick(button("CommandSetup"), Qt::LeftButton);
  EXPECT_EQ(state.config, defaultConfig());
  EXPECT_EQ(fileText(configPath()),
            "holeDistance,150\r\nholeDiameter,50\r\nwavelength,0.5\r\nsystemNoise,0\r\n"
            "initialExposure,0.5\r\nmeasurementExposure,0.01\r\nsamplesPerReading,20\r\n");
}

TEST_F(MainDisplayTest, SetupOkStoresNanometresAsMicrometres) {
  test_support::whenModalOpens([](QWidget& dialog) {
    dialog.findChild<QLineEdit*>("TextWavelength")->setText("550");
    QTest::mouseClick(dialog.findChild<QPushButton*>("OK"), Qt::LeftButton);
  });
  QTest::mouseClick(button("CommandSetup"), Qt::LeftButton);
  EXPECT_EQ(state.config.wavelength, 0.55f);
  EXPECT_NE(fileText(configPath()).find("\r\nwavelength,0.55\r\n"), std::string::npos);
}

TEST_F(MainDisplayTest, SetupNeverWritesValuesThatWereNeverLoaded) {
  state.config = Config{};
  state.configLoaded = false;
  { std::ofstream(configPath(), std::ios::binary) << "holeDistance,120\r\n"; }
  SeenMessage seen;
  test_support::whenModalOpens([&seen](QWidget& dialog) {
    test_support::closeNextMessage(seen);  // the refusal, once the dialog has closed
    QTest::mouseClick(dialog.findChild<QPushButton*>("Cancel"), Qt::LeftButton);
  });
  QTest::mouseClick(button("CommandSetup"), Qt::LeftButton);
  EXPECT_TRUE(seen.shown);
  EXPECT_EQ(seen.title, "Nebulor");
  EXPECT_FALSE(seen.text.isEmpty());
  EXPECT_EQ(fileText(configPath()), "holeDistance,120\r\n");
}

// After a start-up whose camera did not link, OK confirms all seven values
// (each checked), so they count as loaded and are saved.
TEST_F(MainDisplayTest, SetupOkAfterAFailedStartupConfirmsAndSavesTheValues) {
  state.config = Config{};
  state.configLoaded = false;
  { std::ofstream(configPath(), std::ios::binary) << "holeDistance,120\r\n"; }
  const Config typed = defaultConfig();
  test_support::whenModalOpens([&typed](QWidget& dialog) {
    const auto set = [&dialog](const char* box, const std::string& text) {
      dialog.findChild<QLineEdit*>(box)->setText(QString::fromStdString(text));
    };
    set("TextHoleDistance", singleText(typed.holeDistance));
    set("TextHoleDiameter", singleText(typed.holeDiameter));
    set("TextWavelength", singleText(typed.wavelength * 1000.0f));
    set("TextSystemNoise", singleText(typed.systemNoise));
    set("TextInitialExposure", singleText(typed.initialExposure));
    set("TextMeasurementExposure", singleText(typed.measurementExposure));
    set("TextSamplesPerReading", std::to_string(typed.samplesPerReading));
    QTest::mouseClick(dialog.findChild<QPushButton*>("OK"), Qt::LeftButton);
  });
  QTest::mouseClick(button("CommandSetup"), Qt::LeftButton);
  EXPECT_TRUE(state.configLoaded);
  EXPECT_EQ(state.config, typed);
  EXPECT_EQ(fileText(configPath()), configText(typed));
}

TEST(WindowPlacement, BesideThePlacedWindowOnTheSideWithRoomAndOnTheScreen) {
  const QSize main(284, 466), wanted(662, 561), minimum(162, 141);
  const struct {
    QRect screen, placed, frame;
  } cases[] = {
      {{0, 0, 1920, 1080}, {{1500, 100}, main}, {830, 100, 662, 561}},      // room on the left only
      {{0, 0, 1024, 768}, {{600, 150}, main}, {0, 150, 592, 561}},          // narrowed to the wider side
      {{1920, 0, 1280, 1024}, {{2000, 600}, main}, {2292, 463, 662, 561}},  // raised, on a second screen
      {{0, 0, 400, 500}, {{50, 0}, main}, {238, 0, 162, 500}},              // no room: its minimum, on screen
  };
  for (const auto& c : cases)
    EXPECT_EQ(besideFrame(c.screen, c.placed, wanted, minimum), c.frame) << c.placed.x();
}

}  // namespace
}  // namespace nebulor
