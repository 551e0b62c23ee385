#include "panel/message_box.h"

#include <QMessageBox>

namespace panel {

void QtMessageBox::warning(const QString& title, const QString& text) {
    QMessageBox::warning(nullptr, title, text, QMessageBox::Ok);
}

} // namespace panel
