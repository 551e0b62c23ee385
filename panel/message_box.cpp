#include "panel/message_box.h"

#include <QMessageBox>

namespace panel {

void QtMessageBox::warning(const QString& title, const QString& text) {
    QMessageBox::warning(nullptr, title, text, QMessageBox::Ok);
}

bool QtMessageBox::askOkCancel(const QString& title, const QString& text) {
    return QMessageBox::warning(nullptr, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                                QMessageBox::Cancel) == QMessageBox::Ok;
}

} // namespace panel
