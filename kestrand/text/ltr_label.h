#pragma once

#include <QLabel>

namespace kestrand::text {

// A plain-text label laid out left to right whatever its first letter is. A QLabel picks
// its direction from the text, which would move a Persian caption's leading colon to the
// right end; the designs store captions for left-to-right controls.
class LtrLabel final : public QLabel {
    Q_OBJECT
  public:
    explicit LtrLabel(const QString& text, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace kestrand::text
