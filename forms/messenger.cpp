#include "forms/messenger.h"

#include <QInputDialog>
#include <QLineEdit>
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

std::optional<QString> MessageBoxMessenger::askText(QWidget* parent, const QString& title,
                                                    const QString& label, const QString& initial) {
    bool confirmed = false;
    QString text =
        QInputDialog::getText(parent, title, label, QLineEdit::Normal, initial, &confirmed);
    if (!confirmed) {
        return std::nullopt;
    }
    return text;
}

}  // namespace forms
