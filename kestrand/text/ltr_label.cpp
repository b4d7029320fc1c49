#include "kestrand/text/ltr_label.h"

#include <QPainter>
#include <QStyle>

namespace kestrand::text {

LtrLabel::LtrLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
}

void LtrLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    const int flags = static_cast<int>(alignment()) | Qt::TextForceLeftToRight;
    style()->drawItemText(&painter, contentsRect(), flags, palette(), isEnabled(), text(),
                          foregroundRole());
}

}  // namespace kestrand::text
