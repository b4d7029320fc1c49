#pragma once

#include <QPushButton>

namespace kestrand::text {

// A push button whose caption is laid out left to right. Qt picks a caption's direction
// from its first letter; the designs store Persian captions for left-to-right controls
// (two-part captions in reverse order around a left-to-right mark).
class LtrPushButton final : public QPushButton {
    Q_OBJECT
  public:
    explicit LtrPushButton(const QString& text, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace kestrand::text
