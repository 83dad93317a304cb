#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <map>

#include "../support/WidgetTestSupport.h"
#include "config/SetupDialog.h"

namespace nebulor {
namespace {

using test_support::SeenMessage;

// The boxes in the order the dialog's table lists them.
const char* const kBoxes[] = {"TextHoleDistance",     "TextHoleDiameter",    "TextWavelength",
                              "TextSystemNoise",      "TextInitialExposure", "TextMeasurementExposure",
                              "TextSamplesPerReading"};

class SetupDialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test_support::widgetApp(); }

  SetupDialogTest() : config(defaultConfig()) { owner.setGeometry(300, 200, 282, 445); }

  QLineEdit* box(const char* name) { return dialog.findChild<QLineEdit*>(QString::fromLatin1(name)); }
  QPushButton* button(const char* name) { return dialog.findChild<QPushButton*>(QString::fromLatin1(name)); }

  // Opens the dialog on config and runs whileOpen inside it; whileOpen must
  // close it. Returns what edit() returned.
  bool open(std::function<void()> whileOpen) {
    test_support::whenModalOpens([this, whileOpen = std::move(whileOpen)](QWidget&) {
      whileOpen();
      if (dialog.isVisible()) {
        ADD_FAILURE() << "the dialog did not close";
        dialog.reject();
      }
    });
    return dialog.edit(config);
  }

  std::map<std::string, QString> shownTexts() {
    std::map<std::string, QString> texts;
    open([&] {
      for (const char* name : kBoxes) texts[name] = box(name)->text();
      QTest::mouseClick(button("Cancel"), Qt::LeftButton);
    });
    return texts;
  }

  QWidget owner;
  SetupDialog dialog{&owner};
  Config config;
};

TEST_F(SetupDialogTest, ShowsTheDefaults) {
  const std::map<std::string, QString> expected = {
      {"TextHoleDistance", "150"},    {"TextHoleDiameter", "50"},     {"TextWavelength", "500"},
      {"TextSystemNoise", "0"},       {"TextInitialExposure", "0.5"}, {"TextMeasurementExposure", "0.01"},
      {"TextSamplesPerReading", "20"}};
  EXPECT_EQ(shownTexts(), expected);
}

TEST_F(SetupDialogTest, OkWithoutChangeKeepsEveryValue) {
  EXPECT_TRUE(open([&] { QTest::mouseClick(button("OK"), Qt::LeftButton); }));
  EXPECT_EQ(config, defaultConfig());
}

TEST_F(SetupDialogTest, OkStoresWhatWasEntered) {
  struct Case {
    const char* box;
    const char* text;
    std::function<bool(const Config&)> stored;
  };
  const Case cases[] = {
      {"TextHoleDistance", "120.5", [](const Config& c) { return c.holeDistance == 120.5f; }},
      {"TextHoleDiameter", " 40 ", [](const Config& c) { return c.holeDiameter == 40.0f; }},
      {"TextWavelength", "550",
       [](const Config& c) { return c.wavelength == static_cast<float>(550.0 / 1000); }},
      {"TextSystemNoise", "-0.25", [](const Config& c) { return c.systemNoise == -0.25f; }},
      {"TextInitialExposure", "2", [](const Config& c) { return c.initialExposure == 2.0f; }},
      {"TextMeasurementExposure", "0.02", [](const Config& c) { return c.measurementExposure == 0.02f; }},
      {"TextSamplesPerReading", "20.5", [](const Config& c) { return c.samplesPerReading == 20; }},
      {"TextSamplesPerReading", "21.5", [](const Config& c) { return c.samplesPerReading == 22; }},
      {"TextSamplesPerReading", "200.5", [](const Config& c) { return c.samplesPerReading == 200; }},
      {"TextSamplesPerReading", "1", [](const Config& c) { return c.samplesPerReading == 1; }},
  };
  for (const Case& c : cases) {
    config = defaultConfig();
    EXPECT_TRUE(open([&] {
      box(c.box)->setText(QString::fromLatin1(c.text));
      QTest::mouseClick(button("OK"), Qt::LeftButton);
    }));
    EXPECT_TRUE(c.stored(config)) << c.box << " " << c.text;
  }
}

TEST_F(SetupDialogTest, EveryOtherClosingChangesNothing) {
  const std::function<void()> closings[] = {
      [&] { QTest::mouseClick(button("Cancel"), Qt::LeftButton); },
      [&] { QTest::keyClick(&dialog, Qt::Key_Escape); },
      [&] { dialog.close(); },
  };
  for (const auto& close : closings) {
    EXPECT_FALSE(open([&] {
      for (const char* name : kBoxes) box(name)->setText("7");
      close();
    }));
    EXPECT_EQ(config, defaultConfig());
  }
  // Reopening shows the stored values, not what was typed.
  EXPECT_EQ(shownTexts().at("TextHoleDistance"), "150");
}

TEST_F(SetupDialogTest, EnterInABoxActsAsOk) {
  EXPECT_TRUE(open([&] {
    box("TextSystemNoise")->setFocus();
    box("TextSystemNoise")->setText("3");
    QTest::keyClick(box("TextSystemNoise"), Qt::Key_Return);
  }));
  EXPECT_EQ(config.systemNoise, 3.0f);
}

TEST_F(SetupDialogTest, BadInputIsNamedAndKeepsTheDialogOpen) {
  struct Case {
    const char* box;
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"TextHoleDistance", "", "Hole Distance (mm) must be a number greater than 0."},
      {"TextHoleDistance", "-5", "Hole Distance (mm) must be a number greater than 0."},
      {"TextHoleDiameter", "abc", "Hole Diameter (mm) must be a number greater than 0."},
      {"TextWavelength", "0", "Light Wavelength (nm) must be a number greater than 0."},
      {"TextSystemNoise", "1,5", "System Noise must be a number."},
      {"TextInitialExposure", "1e39",
       "Initial Exposure (s) must be a number greater than 0."},  // beyond single
      {"TextInitialExposure", "-1", "Initial Exposure (s) must be a number greater than 0."},
      {"TextMeasurementExposure", "0", "Measurement Exposure (s) must be a number greater than 0."},
      {"TextMeasurementExposure", "nan", "Measurement Exposure (s) must be a number greater than 0."},
      {"TextHoleDistance", "45",
       "Hole Distance (mm) must be larger than Hole Diameter (mm): the two holes of "
       "the mask cannot overlap."},
      {"TextSamplesPerReading", "201", "Exposures per Reading must be a number from 1 to 200."},
      {"TextSamplesPerReading", "0.5", "Exposures per Reading must be a number from 1 to 200."},
      {"TextSamplesPerReading", "40000", "Exposures per Reading must be a number from 1 to 200."},
  };
  for (const Case& c : cases) {
    SeenMessage seen;
    QWidget* focusAfterMessage = nullptr;
    bool openAfterMessage = false;
    EXPECT_FALSE(open([&] {
      box("TextHoleDiameter")->setText("45");  // a good change that must not be stored either
      box(c.box)->setText(QString::fromLatin1(c.text));
      test_support::closeNextMessage(seen);
      QTest::mouseClick(button("OK"), Qt::LeftButton);
      focusAfterMessage = dialog.focusWidget();
      openAfterMessage = dialog.isVisible();
      QTest::mouseClick(button("Cancel"), Qt::LeftButton);
    }));
    EXPECT_TRUE(seen.shown) << c.box << " " << c.text;
    EXPECT_EQ(seen.text.toStdString(), c.message);
    EXPECT_EQ(seen.title, "Nebulor");
    EXPECT_TRUE(openAfterMessage) << c.box << " " << c.text;
    EXPECT_EQ(focusAfterMessage, box(c.box)) << c.box << " " << c.text;
    EXPECT_EQ(config, defaultConfig()) << c.box << " " << c.text;
  }
}

TEST_F(SetupDialogTest, DecimalCommaLocaleRoundTrips) {
  dialog.setLocale(QLocale(QLocale::German, QLocale::Germany));
  const auto texts = shownTexts();
  EXPECT_EQ(texts.at("TextInitialExposure"), "0,5");
  EXPECT_EQ(texts.at("TextMeasurementExposure"), "0,01");

  EXPECT_TRUE(open([&] {
    box("TextMeasurementExposure")->setText("0,02");
    QTest::mouseClick(button("OK"), Qt::LeftButton);
  }));
  EXPECT_EQ(config.measurementExposure, 0.02f);
  EXPECT_EQ(shownTexts().at("TextMeasurementExposure"), "0,02");

  // A full stop groups thousands there: "1.500" must not become 1500.
  SeenMessage seen;
  EXPECT_FALSE(open([&] {
    box("TextInitialExposure")->setText("1.500");
    test_support::closeNextMessage(seen);
    QTest::mouseClick(button("OK"), Qt::LeftButton);
    QTest::mouseClick(button("Cancel"), Qt::LeftButton);
  }));
  EXPECT_TRUE(seen.shown);
  EXPECT_EQ(config.initialExposure, 0.5f);
}

TEST_F(SetupDialogTest, EveryControlShowsWholeAndEachBoxBesideItsLabel) {
  EXPECT_EQ(dialog.windowTitle(), "Nebulor Setup");
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
  EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
  test_support::expectCleanLayout(dialog);
  // One column of boxes, each on its label's row and right of it, the buttons below them all.
  const char* const labels[] = {"Label2", "Label3", "Label4", "Label5", "Label8", "Label9", "Label10"};
  const QLineEdit* first = box(kBoxes[0]);
  for (std::size_t i = 0; i < std::size(kBoxes); ++i) {
    const QLineEdit* edit = box(kBoxes[i]);
    const auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(labels[i]));
    ASSERT_TRUE(edit != nullptr && label != nullptr) << kBoxes[i];
    EXPECT_EQ(edit->x(), first->x()) << kBoxes[i];
    EXPECT_GE(edit->x(), label->geometry().right()) << kBoxes[i];
    EXPECT_LT(std::abs(edit->geometry().center().y() - label->geometry().center().y()), label->height() / 2)
        << kBoxes[i];
    for (QPushButton* pushButton : {button("OK"), button("Cancel")}) {
      EXPECT_GT(pushButton->y(), edit->geometry().bottom()) << kBoxes[i];
    }
  }
  EXPECT_EQ(button("OK")->text(), "&OK");
  EXPECT_EQ(button("Cancel")->text(), "&Cancel");
  EXPECT_TRUE(button("OK")->isDefault());
}

TEST_F(SetupDialogTest, OpensCentredWithOkFocusedAndTabsInItsOrder) {
  owner.show();
  QWidget* focusOnOpen = nullptr;
  QPoint centre;
  std::vector<QString> order;
  open([&] {
    focusOnOpen = dialog.focusWidget();
    centre = dialog.geometry().center();
    QWidget* widget = button("OK");
    do {
      order.push_back(widget->objectName());
      widget = widget->nextInFocusChain();
      while (!(widget->focusPolicy() & Qt::TabFocus)) widget = widget->nextInFocusChain();
    } while (widget != button("OK"));
    QTest::mouseClick(button("Cancel"), Qt::LeftButton);
  });
  EXPECT_EQ(focusOnOpen, button("OK"));
  EXPECT_LE((centre - owner.geometry().center()).manhattanLength(), 2);
  const std::vector<QString> expected = {"OK",
                                         "Cancel",
                                         "TextWavelength",
                                         "TextSystemNoise",
                                         "TextInitialExposure",
                                         "TextMeasurementExposure",
                                         "TextHoleDistance",
                                         "TextHoleDiameter",
                                         "TextSamplesPerReading"};
  EXPECT_EQ(order, expected);
}

TEST_F(SetupDialogTest, AccessKeysOfTheButtons) {
  EXPECT_EQ(button("OK")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_O));
  EXPECT_EQ(button("Cancel")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_C));
}

}  // namespace
}  // namespace nebulor
