// Persian captions are stored for left-to-right controls. These tests read the rendered
// controls back and check which part of a caption stands at which end.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <vector>

#include "kestrand/info/main_window.h"
#include "kestrand/settings/settings_dialog.h"
#include "tests/kestrand/gui_helpers.h"
#include "tests/support/controls.h"
#include "tests/support/scripted_platform.h"

namespace {

using testing_support::control;

// Dark pixels per column, without the empty columns at either end.
std::vector<int> inkColumns(const QImage& image, const QRect& area) {
    std::vector<int> columns;
    for (int x = area.left(); x <= area.right(); ++x) {
        int ink = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            ink += qGray(image.pixel(x, y)) < 110;
        }
        columns.push_back(ink);
    }
    while (!columns.empty() && columns.back() == 0) columns.pop_back();
    std::size_t first = 0;
    while (first < columns.size() && columns[first] == 0) ++first;
    return {columns.begin() + static_cast<std::ptrdiff_t>(first), columns.end()};
}

// The ink of a text drawn alone in a font.
std::vector<int> inkOf(const QString& text, const QFont& font) {
    QImage image(400, 60, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, 0, 400, 60), Qt::AlignCenter, text);
    painter.end();
    return inkColumns(image, image.rect());
}

// How far the part's ink differs from the caption's ink at one end, as a share of the
// part's ink. Glyphs may land a pixel or two apart, so the best nearby alignment counts.
double mismatchAtEnd(const std::vector<int>& caption, const std::vector<int>& part, bool rightEnd) {
    if (part.empty() || caption.size() < part.size()) return 1.0;
    const int base = rightEnd ? static_cast<int>(caption.size() - part.size()) : 0;
    double best = 1e9;
    for (int shift = -2; shift <= 2; ++shift) {
        double difference = 0, total = 0;
        for (std::size_t i = 0; i < part.size(); ++i) {
            const int at = base + shift + static_cast<int>(i);
            const int seen = at >= 0 && at < static_cast<int>(caption.size()) ? caption[at] : 0;
            difference += std::abs(seen - part[i]);
            total += part[i];
        }
        best = std::min(best, difference / total);
    }
    return best;
}

// The ink of the first (or last) glyph group: columns up to the first empty column.
int endGroupInk(const std::vector<int>& ink, bool rightEnd, int* width) {
    int total = 0;
    *width = 0;
    for (std::size_t i = 0; i < ink.size(); ++i) {
        const int column = ink[rightEnd ? ink.size() - 1 - i : i];
        if (column == 0) break;
        total += column;
        ++*width;
    }
    return total;
}

std::vector<int> captionInk(QWidget* control, int inset) {
    const QImage image = control->grab().toImage();
    return inkColumns(image, image.rect().adjusted(inset, inset, -inset, -inset));
}

TEST(CaptionDirection, TwoPartButtonsShowTheirSecondHalfAtTheRight) {
    testing_support::ScriptedPlatform scripted;
    kestrand_test::RecordedReports reports;
    kestrand::settings::SettingsDialog dialog(scripted.platform, reports);
    dialog.show();
    struct Case {
        int index;
        QString left;
        QString right;
    };
    const Case cases[] = {
        {0, QString::fromUtf16(u"فرض"), QString::fromUtf16(u"پ\u0640يش")},
        {1, QString::fromUtf16(u"نظر"), QString::fromUtf16(u"صرف")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        auto* button = control<QPushButton>(&dialog, "Command1", c.index);
        const auto ink = captionInk(button, 4);
        EXPECT_LT(mismatchAtEnd(ink, inkOf(c.right, button->font()), true), 0.25);
        EXPECT_LT(mismatchAtEnd(ink, inkOf(c.left, button->font()), false), 0.25);
        EXPECT_GT(mismatchAtEnd(ink, inkOf(c.right, button->font()), false), 0.25);
    }
}

TEST(CaptionDirection, LabelsShowTheirColonAtTheLeft) {
    testing_support::ScriptedPlatform scripted;
    kestrand_test::RecordedReports reports;
    kestrand::settings::SettingsDialog dialog(scripted.platform, reports);
    dialog.show();
    for (const char* name : {"Label1", "Label2"}) {
        SCOPED_TRACE(name);
        auto* label = control<QLabel>(&dialog, QString::fromLatin1(name));
        const auto ink = captionInk(label, 0);
        const auto colon = inkOf(QStringLiteral(":"), label->font());
        int colonWidth = 0, leftWidth = 0, rightWidth = 0;
        const int colonInk = endGroupInk(colon, false, &colonWidth);
        // The colon's two dots alone at the left end; a letter at the right end.
        const int leftInk = endGroupInk(ink, false, &leftWidth);
        const int rightInk = endGroupInk(ink, true, &rightWidth);
        EXPECT_LE(leftWidth, colonWidth + 1);
        EXPECT_NEAR(leftInk, colonInk, 2);
        EXPECT_GT(rightInk, colonInk + 2);
    }
}

TEST(CaptionDirection, TheWideButtonEndsWithItsLatinWordAtTheRight) {
    testing_support::ScriptedPlatform platform;
    kestrand_test::RecordedReports reports;
    kestrand::info::MainWindow window(platform.platform, reports);
    window.show();
    auto* button = control<QPushButton>(&window, "Command1");
    const auto ink = captionInk(button, 4);
    const auto latin = inkOf(QStringLiteral("Orvane"), button->font());
    EXPECT_LT(mismatchAtEnd(ink, latin, true), 0.25);
    EXPECT_GT(mismatchAtEnd(ink, latin, false), 0.25);
}

}  // namespace
