#include "display/MessageBox.h"

#include <QMessageBox>

namespace nebulor {

void showMessageBox(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Nebulor"), text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace nebulor
