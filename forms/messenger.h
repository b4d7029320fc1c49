#pragma once

#include <QString>

class QWidget;

namespace forms {

// Modal message boxes with a single OK button.
class Messenger {
public:
    virtual ~Messenger() = default;
    // A message the design gives: no icon.
    virtual void inform(QWidget* parent, const QString& title, const QString& text) = 0;
    // A failure the user must know about (a file that cannot be read): warning icon.
    virtual void warn(QWidget* parent, const QString& title, const QString& text) = 0;
};

class MessageBoxMessenger final : public Messenger {
public:
    void inform(QWidget* parent, const QString& title, const QString& text) override;
    void warn(QWidget* parent, const QString& title, const QString& text) override;
};

}  // namespace forms
