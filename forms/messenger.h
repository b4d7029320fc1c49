#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace forms {

// Modal message boxes with a single OK button, and a box that asks for one line of text.
class Messenger {
  public:
    virtual ~Messenger() = default;
    // A message the design gives: no icon.
    virtual void inform(QWidget* parent, const QString& title, const QString& text) = 0;
    // A failure the user must know about (a file that cannot be read): warning icon.
    virtual void warn(QWidget* parent, const QString& title, const QString& text) = 0;
    // A line of text from the user, starting as `initial`; nothing on Cancel.
    virtual std::optional<QString> askText(QWidget* parent, const QString& title,
                                           const QString& label, const QString& initial) = 0;
};

class MessageBoxMessenger final : public Messenger {
  public:
    void inform(QWidget* parent, const QString& title, const QString& text) override;
    void warn(QWidget* parent, const QString& title, const QString& text) override;
    std::optional<QString> askText(QWidget* parent, const QString& title, const QString& label,
                                   const QString& initial) override;
};

}  // namespace forms
