#include "kestrand/text/ltr_push_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace kestrand::text {

LtrPushButton::LtrPushButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

void LtrPushButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);

    // The style would pick the caption's direction from its first letter.
    QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (isDown()) {
        area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    }
    painter.drawItemText(area, Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextForceLeftToRight,
                         palette(), isEnabled(), caption, QPalette::ButtonText);
}

}  // namespace kestrand::text
