#include "forms/twips.h"

#include <QWidget>

namespace forms {

QRect toPixels(const DesignRect& rect) {
    // Right and bottom edges are rounded on their own so that controls that touch in
    // twips also touch in pixels.
    const int left = twips(rect.left);
    const int top = twips(rect.top);
    return QRect(left, top, twips(rect.left + rect.width) - left,
                 twips(rect.top + rect.height) - top);
}

void place(QWidget* control, const DesignRect& rect) { control->setGeometry(toPixels(rect)); }

void setClientSize(QWidget* window, int widthTwips, int heightTwips, bool fixed) {
    const QSize size(twips(widthTwips), twips(heightTwips));
    if (fixed) {
        window->setFixedSize(size);
    } else {
        window->resize(size);
    }
}

}  // namespace forms
