#pragma once

#include <QString>

class QWidget;

namespace nebulor {

// The program's one kind of message: modal, titled "Nebulor", an OK button
// and no icon. Returns when the user has closed it.
void showMessageBox(QWidget* parent, const QString& text);

}  // namespace nebulor
