#include "forms/messenger.h"

#include <QMessageBox>

namespace forms {

namespace {
void show(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}
}  // namespace

void MessageBoxMessenger::inform(QWidget* parent, const QString& title, const QString& text) {
    show(parent, QMessageBox::NoIcon, title, text);
}

void MessageBoxMessenger::warn(QWidget* parent, const QString& title, const QString& text) {
    show(parent, QMessageBox::Warning, title, text);
}

}  // namespace forms
