#include "display/MessageBox.h"

#include <QIcon>
#include <QMessageBox>
#include <QPushButton>

#include "display/WindowFont.h"

namespace nebulor {

void showMessageBox(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Nebulor"), text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.setFont(windowFont());  // as the windows have it, not the desktop's larger message font
  // No theme icon on the button: a coloured one would glare in the night view.
  box.button(QMessageBox::Ok)->setIcon(QIcon());
  box.exec();
}

}  // namespace nebulor
