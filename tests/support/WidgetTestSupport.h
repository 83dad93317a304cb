#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <functional>

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
    box->button(QMessageBox::Ok)->click();
  });
}

}  // namespace nebulor::test_support
