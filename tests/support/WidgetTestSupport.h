#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <vector>

namespace nebulor::test_support {

// The one QApplication of a widget test program, created on first use. It
// is never destroyed: tearing Qt down among the exit handlers crashes once
// simulated input devices exist, and the process ends anyway.
inline QApplication& widgetApp() {
  static int argc = 1;
  static char name[] = "nebulor-widget-test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// Runs action on the next modal window once it has opened, from inside its
// own event loop (the test itself is then blocked in that window's exec()).
// Gives up with a test failure when no modal window opens within 5 seconds.
inline void whenModalOpens(std::function<void(QWidget&)> action, int attemptsLeft = 500) {
  QTimer::singleShot(10, [action = std::move(action), attemptsLeft]() mutable {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal->isVisible()) {
      action(*modal);
    } else if (attemptsLeft > 0) {
      whenModalOpens(std::move(action), attemptsLeft - 1);
    } else {
      ADD_FAILURE() << "no modal window opened";
    }
  });
}

// What a message box showed before the test closed it.
struct SeenMessage {
  bool shown = false;
  QString title;
  QString text;
  QMessageBox::StandardButtons buttons;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QFont textFont;
};

// Records the next message box and closes it with its OK button.
inline void closeNextMessage(SeenMessage& seen) {
  whenModalOpens([&seen](QWidget& modal) {
    auto* box = qobject_cast<QMessageBox*>(&modal);
    if (box == nullptr) {
      ADD_FAILURE() << "the modal window is no message box";
      modal.close();
      return;
    }
    seen.shown = true;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.buttons = box->standardButtons();
    seen.icon = box->icon();
    seen.textFont = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->font();
    box->button(QMessageBox::Ok)->click();
  });
}

// What a fixed pixel layout must achieve, whatever its numbers: every named
// control lies inside its parent, no two overlap, and every caption shows
// whole in its own font (buttons keep a few pixels for their frame).
inline void expectCleanLayout(const QWidget& parent) {
  std::vector<const QWidget*> controls;
  for (const QWidget* child : parent.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!child->objectName().isEmpty() && !child->isWindow()) controls.push_back(child);
  }
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const QWidget& control = *controls[i];
    const QString name = control.objectName();
    EXPECT_TRUE(parent.rect().contains(control.geometry())) << name.toStdString() << " leaves its parent";
    for (std::size_t j = i + 1; j < controls.size(); ++j) {
      EXPECT_FALSE(control.geometry().intersects(controls[j]->geometry()))
          << name.toStdString() << " overlaps " << controls[j]->objectName().toStdString();
    }
    QString caption;
    if (const auto* label = qobject_cast<const QLabel*>(&control)) caption = label->text();
    if (const auto* frame = qobject_cast<const QGroupBox*>(&control)) caption = frame->title();
    const QFontMetrics metrics(control.font());
    if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) {
      // A caption too wide for one line takes two, inside the button's frame.
      const QRect room = control.rect().adjusted(4, 2, -4, -2);
      const QRect inked =
          metrics.boundingRect(room, Qt::TextWordWrap | Qt::AlignCenter, button->text().remove('&'));
      EXPECT_TRUE(room.contains(inked)) << name.toStdString() << "'s caption needs " << inked.width() << " x "
                                        << inked.height() << " pixels";
    } else {
      // Ink, not advance: the space after the last letter may fall outside.
      EXPECT_LT(metrics.tightBoundingRect(caption).right(), control.width())
          << name.toStdString() << ": \"" << caption.toStdString() << "\" is cut";
      EXPECT_LE(metrics.height(), control.height()) << name.toStdString() << " is lower than its font";
    }
    expectCleanLayout(control);
  }
}

}  // namespace nebulor::test_support
