#include "trailscan/report/report_view.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <memory>

namespace {

using trailscan::report::ReportView;

std::unique_ptr<ReportView> shownView(const QString& text, QSize size = QSize(400, 200)) {
    auto view = std::make_unique<ReportView>();
    view->resize(size);
    view->setText(text);
    view->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->activateWindow();
    view->setFocus();
    return view;
}

// The centre of the character at offset, in viewport coordinates.
QPoint pointOf(const ReportView& view, qsizetype offset) {
    const QRect caret = view.offsetRect(offset);
    const QRect next = view.offsetRect(offset + 1);
    return QPoint((caret.left() + next.left()) / 2, caret.center().y());
}

void sendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, modifiers);
    QApplication::sendEvent(target, &event);
}

// A report of one record's entry repeated, with no line break: the shape of an all-fields report.
QString singleLineReport(qsizetype entries) {
    const QString entry = QStringLiteral(
        "17- 192.168.1.17 | jsmith | Mozilla/4.0 | Y | 2/14/01 | 10:22:41 | W3Proxy | "
        "www.example.com | - | - | 200 | 3120 | 411 | GET | http | text/html | - | 0 | 80 | "
        "Inet | - | - | - | ");
    QString report;
    report.reserve(entry.size() * entries);
    for (qsizetype i = 0; i < entries; ++i) {
        report += entry;
    }
    return report;
}

bool hasInk(const QImage& image, QRect area) {
    const QRgb white = qRgb(255, 255, 255);
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixel(x, y) != white) {
                return true;
            }
        }
    }
    return false;
}

TEST(ReportViewText, ShowsControlCharactersAsTheirPictures) {
    ReportView view;
    QFont font = view.font();
    font.setKerning(false);
    const QFontMetricsF metrics(font);
    view.setText(QStringLiteral("\t\n"));
    EXPECT_NEAR(view.xOfOffset(1), metrics.horizontalAdvance(QChar(0x2409)), 1.0 / 64);
    EXPECT_NEAR(view.xOfOffset(2) - view.xOfOffset(1), metrics.horizontalAdvance(QChar(0x240A)),
                1.0 / 64);
}

TEST(ReportViewText, AMessageAppendedThreeTimesStandsOnThreeLines) {
    auto view = shownView(QString());
    const QString message = QStringLiteral("Please select a LOG file at first!\r\n");
    for (int i = 0; i < 3; ++i) {
        view->appendText(message);
    }
    EXPECT_EQ(view->text(), message + message + message);
    EXPECT_EQ(view->lineCount(), 4);
    // The caret can reach the appended end at once.
    QTest::keyClick(view.get(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view->cursorPosition(), view->text().size());
    EXPECT_EQ(view->lineOf(view->cursorPosition()), 3);
}

TEST(ReportViewSelection, ShiftArrowsSelectAndCopyGivesLineFeeds) {
    auto view = shownView(QStringLiteral("alpha\r\nbeta\r\ngamma"));
    QTest::keyClick(view.get(), Qt::Key_Home, Qt::ControlModifier);
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(view.get(), Qt::Key_Right, Qt::ShiftModifier);
    }
    EXPECT_EQ(view->selectedText(), QStringLiteral("alp"));
    QTest::keyClick(view.get(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(view->selectedText(), QStringLiteral("alpha\r\nbet"));
    QTest::keyClick(view.get(), Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(view->selectedText(), QStringLiteral("alpha\r\nbeta"));
    QTest::keyClick(view.get(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(view->selectedText(), QStringLiteral("alpha\r\nbeta\r\n"));

    QGuiApplication::clipboard()->clear();
    QTest::keyClick(view.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("alpha\nbeta\n"));

    // Without Shift the selection collapses; Left from a line's start goes before its CR LF.
    QTest::keyClick(view.get(), Qt::Key_Left);
    EXPECT_FALSE(view->hasSelection());
    EXPECT_EQ(view->cursorPosition(), 0);
    QTest::keyClick(view.get(), Qt::Key_Down);
    QTest::keyClick(view.get(), Qt::Key_Left);
    EXPECT_EQ(view->cursorPosition(), 5);
    QTest::keyClick(view.get(), Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(view->selectedText(), QStringLiteral("\r\nbeta\r\ngamma"));
}

TEST(ReportViewSelection, MouseDragSelectsAndDoubleClickTakesAWord) {
    auto view = shownView(QStringLiteral("first line\r\nsecond words here"));
    QWidget* viewport = view->viewport();
    QSignalSpy changed(view.get(), &ReportView::selectionChanged);

    sendMouse(viewport, QEvent::MouseButtonPress, pointOf(*view, 2) - QPoint(2, 0), Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseMove, pointOf(*view, 14) - QPoint(2, 0), Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseButtonRelease, pointOf(*view, 14) - QPoint(2, 0),
              Qt::NoButton);
    EXPECT_EQ(view->selectedText(), QStringLiteral("rst line\r\nse"));
    EXPECT_GT(changed.count(), 0);

    // A click with Shift extends from the anchor.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier,
                      pointOf(*view, 17) + QPoint(2, 0));
    EXPECT_EQ(view->selectionStart(), 2);
    EXPECT_EQ(view->selectionEnd(), 18);

    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, pointOf(*view, 20));
    EXPECT_EQ(view->selectedText(), QStringLiteral("words"));

    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, pointOf(*view, 4) - QPoint(2, 0));
    EXPECT_FALSE(view->hasSelection());
    EXPECT_EQ(view->cursorPosition(), 4);
    EXPECT_TRUE(view->hasFocus());
}

TEST(ReportViewSelection, SelectAllByKeyAndContextMenu) {
    const QString report = QStringLiteral("0- a | b | \r\n1- c | d | ");
    auto view = shownView(report);

    std::unique_ptr<QMenu> menu(view->createContextMenu());
    auto* copyAction = menu->findChild<QAction*>(QStringLiteral("copyAction"));
    auto* selectAllAction = menu->findChild<QAction*>(QStringLiteral("selectAllAction"));
    ASSERT_NE(copyAction, nullptr);
    ASSERT_NE(selectAllAction, nullptr);
    EXPECT_TRUE(copyAction->text().startsWith(QStringLiteral("&Copy")));
    EXPECT_TRUE(selectAllAction->text().startsWith(QStringLiteral("Select All")));
    EXPECT_FALSE(copyAction->isEnabled());
    selectAllAction->trigger();
    EXPECT_EQ(view->selectedText(), report);

    menu.reset(view->createContextMenu());
    copyAction = menu->findChild<QAction*>(QStringLiteral("copyAction"));
    ASSERT_TRUE(copyAction->isEnabled());
    QGuiApplication::clipboard()->clear();
    copyAction->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("0- a | b | \n1- c | d | "));

    view->setCursorPosition(3);
    QTest::keyClick(view.get(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(view->selectionStart(), 0);
    EXPECT_EQ(view->selectionEnd(), report.size());

    view->setText(QStringLiteral("new report"));
    EXPECT_FALSE(view->hasSelection());
}

TEST(ReportViewSelection, IsReadOnly) {
    const QString report = QStringLiteral("www.example.com\r\n");
    auto view = shownView(report);
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    view->selectAll();
    QTest::keyClicks(view.get(), QStringLiteral("typed"));
    for (Qt::Key key : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Return, Qt::Key_Tab}) {
        QTest::keyClick(view.get(), key);
    }
    QTest::keyClick(view.get(), Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(view.get(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(view->text(), report);

    // Keys it does not use go on to the window, so Enter can reach its default button.
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(view.get(), &enter);
    EXPECT_FALSE(enter.isAccepted());
}

TEST(ReportViewScrolling, KeysScrollThroughManyLines) {
    QString report;
    for (int i = 0; i < 200; ++i) {
        report += QStringLiteral("line %1\r\n").arg(i);
    }
    auto view = shownView(report);
    QScrollBar* vertical = view->verticalScrollBar();
    ASSERT_GT(vertical->maximum(), 150);
    QTest::keyClick(view.get(), Qt::Key_PageDown);
    EXPECT_GT(vertical->value(), 0);
    EXPECT_EQ(view->lineOf(view->cursorPosition()), vertical->value());
    QTest::keyClick(view.get(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(vertical->value(), vertical->maximum());
    EXPECT_EQ(view->cursorPosition(), report.size());
    QTest::keyClick(view.get(), Qt::Key_Up);
    EXPECT_EQ(view->lineOf(view->cursorPosition()), 199);
    QTest::keyClick(view.get(), Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(vertical->value(), 0);
    EXPECT_EQ(view->cursorPosition(), 0);
}

TEST(ReportViewScrolling, AHugeSingleLineScrollsToItsFarEnd) {
    const QString report = singleLineReport(60'000);  // about 7 million characters
    auto view = shownView(report);
    ASSERT_EQ(view->lineCount(), 1);
    QScrollBar* horizontal = view->horizontalScrollBar();
    const double width = view->maxLineWidth();
    EXPECT_GT(width, 1e7);
    EXPECT_EQ(horizontal->value(), 0);
    // The scroll range covers the whole line and no more than a margin past it.
    const double reach =
        double(horizontal->maximum()) * view->horizontalScrollUnit() + view->viewport()->width();
    EXPECT_GE(reach, width);
    EXPECT_LT(reach, width + 20);

    EXPECT_EQ(view->offsetAtX(0, width), report.size());
    EXPECT_EQ(view->offsetAtX(0, width + 500), report.size());
    EXPECT_NEAR(view->xOfOffset(report.size()), width, 1e-6);
    const qsizetype middle = report.size() / 2 + 123;
    EXPECT_EQ(view->offsetAtX(0, view->xOfOffset(middle)), middle);

    QTest::keyClick(view.get(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(horizontal->value(), horizontal->maximum());
    EXPECT_EQ(view->cursorPosition(), report.size());
    const QRect caret = view->offsetRect(report.size());
    EXPECT_TRUE(view->viewport()->rect().contains(caret)) << caret.x();

    // The last characters are painted and lie under the pointer at the right edge.
    const QImage picture = view->viewport()->grab().toImage();
    EXPECT_TRUE(hasInk(picture, QRect(caret.left() - 40, caret.top(), 30, caret.height())));
    EXPECT_EQ(view->offsetAt(QPoint(caret.left() + 30, caret.center().y())), report.size());
    EXPECT_EQ(view->offsetAt(pointOf(*view, report.size() - 2)), report.size() - 2);

    // Walking back a character at a time keeps the caret on screen.
    for (int i = 0; i < 200; ++i) {
        QTest::keyClick(view.get(), Qt::Key_Left);
    }
    EXPECT_EQ(view->cursorPosition(), report.size() - 200);
    EXPECT_TRUE(view->viewport()->rect().contains(view->offsetRect(view->cursorPosition())));
    QTest::keyClick(view.get(), Qt::Key_Home);
    EXPECT_EQ(horizontal->value(), 0);
}

TEST(ReportViewScrolling, LinesWiderThanAScrollBarScrollInLargerUnits) {
    ReportView view;
    view.resize(400, 200);
    QFont huge = view.font();
    huge.setPixelSize(4000);
    view.setFont(huge);
    view.setText(QString(1'000'000, QLatin1Char('W')));
    const double width = view.maxLineWidth();
    ASSERT_GT(width, double(INT_MAX));
    EXPECT_GT(view.horizontalScrollUnit(), 1);
    QScrollBar* horizontal = view.horizontalScrollBar();
    EXPECT_GE(
        double(horizontal->maximum()) * view.horizontalScrollUnit() + view.viewport()->width(),
        width);
    view.setCursorPosition(view.text().size());
    EXPECT_EQ(horizontal->value(), horizontal->maximum());
    EXPECT_EQ(view.offsetAtX(0, width), view.text().size());
}

TEST(ReportViewPainting, SelectionIsHighlightedAndTextDrawn) {
    auto view = shownView(QStringLiteral("www.example.com\r\nwww.other.org"));
    const QRect firstLine = view->offsetRect(0).united(view->offsetRect(15));
    QImage picture = view->viewport()->grab().toImage();
    EXPECT_TRUE(hasInk(picture, firstLine));
    const QColor highlight = view->palette().color(QPalette::Highlight);
    const QPoint inSelection(view->offsetRect(2).left() + 1, view->offsetRect(2).top() + 1);
    EXPECT_NE(picture.pixelColor(inSelection), highlight);

    view->setSelection(0, 5);
    picture = view->viewport()->grab().toImage();
    EXPECT_EQ(picture.pixelColor(inSelection), highlight);
    const QPoint pastSelection(view->offsetRect(9).left() + 1, view->offsetRect(9).top() + 1);
    EXPECT_NE(picture.pixelColor(pastSelection), highlight);
    EXPECT_EQ(picture.pixelColor(view->viewport()->width() - 5, view->viewport()->height() - 5),
              QColor(Qt::white));
}

TEST(ReportViewAccessibility, ReadsAsAReadOnlyTextBoxNamedReport) {
    const QString report = QStringLiteral("3= \r\n\r\nfirst\r\nsecond");
    auto view = shownView(report);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(view.get());
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::EditableText);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Report"));
    EXPECT_TRUE(accessible->state().readOnly);
    EXPECT_TRUE(accessible->state().multiLine);
    EXPECT_TRUE(accessible->state().focused);

    QAccessibleTextInterface* text = accessible->textInterface();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->characterCount(), report.size());
    EXPECT_EQ(text->text(0, text->characterCount()), report);
    EXPECT_EQ(text->text(7, 12), QStringLiteral("first"));

    int start = -1;
    int end = -1;
    EXPECT_EQ(text->textAtOffset(9, QAccessible::LineBoundary, &start, &end),
              QStringLiteral("first\r\n"));
    EXPECT_EQ(start, 7);
    EXPECT_EQ(end, 14);
    EXPECT_EQ(text->textAfterOffset(9, QAccessible::LineBoundary, &start, &end),
              QStringLiteral("second"));
    EXPECT_EQ(text->textBeforeOffset(0, QAccessible::LineBoundary, &start, &end), QString());
    EXPECT_EQ(text->textAtOffset(15, QAccessible::WordBoundary, &start, &end),
              QStringLiteral("second"));

    view->setSelection(7, 12);
    EXPECT_EQ(text->selectionCount(), 1);
    text->selection(0, &start, &end);
    EXPECT_EQ(start, 7);
    EXPECT_EQ(end, 12);
    EXPECT_EQ(text->cursorPosition(), 12);
    text->setSelection(0, 14, 17);
    EXPECT_EQ(view->selectedText(), QStringLiteral("sec"));
    text->removeSelection(0);
    EXPECT_EQ(text->selectionCount(), 0);
    text->setCursorPosition(3);
    EXPECT_EQ(view->cursorPosition(), 3);

    const QRect first = text->characterRect(7);
    EXPECT_GT(first.width(), 0);
    EXPECT_EQ(text->offsetAtPoint(first.center()), 7);
}

}  // namespace
