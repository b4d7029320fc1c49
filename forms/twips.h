#pragma once

#include <QRect>

class QWidget;

namespace forms {

// Designs are laid out in twips; at 96 DPI a device-independent pixel is 15 twips.
inline constexpr int kTwipsPerPixel = 15;

// Nearest whole pixel; Qt scales device-independent pixels on high-DPI screens.
constexpr int twips(int value) {
    return value >= 0 ? (value + kTwipsPerPixel / 2) / kTwipsPerPixel
                      : -((-value + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

// One row of a design table: position and size in twips relative to the container.
struct DesignRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

QRect toPixels(const DesignRect& rect);

// Puts a control where its design row says.
void place(QWidget* control, const DesignRect& rect);

// Sizes a window's client area from twips, fixed when the design gives a fixed border.
void setClientSize(QWidget* window, int widthTwips, int heightTwips, bool fixed);

}  // namespace forms
