#include "trailscan/report/report_view.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QScrollBar>
#include <QToolTip>
#include <climits>
#include <cmath>
#include <memory>

#include "common/code_pages.h"
#include "trailscan/report/report_view_accessible.h"

namespace trailscan::report {
namespace {

constexpr int kMargin = 4;
constexpr int kCaretWidth = 1;
constexpr std::int64_t kFixedOne = ReportLayout::kFixedOne;
constexpr std::int64_t kHorizontalPadding = 2 * kMargin + kCaretWidth;
// Scroll bars hold an int; content wider than this is scrolled in steps of several pixels.
constexpr std::int64_t kMaxScrollRange = std::int64_t{1} << 30;
// Accessibility events carry the changed text; a huge report is announced by its first part.
constexpr qsizetype kAnnouncedLimit = qsizetype{1} << 20;

char16_t displayChar(char16_t c) {
    if (c < 0x20) {
        return static_cast<char16_t>(0x2400 + c);
    }
    if (c == 0x7F) {
        return 0x2421;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
        return 0xFFFD;
    }
    return c;
}

int clampToInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN / 2, INT_MAX / 2));
}

int toAccessibleOffset(qsizetype value) {
    return static_cast<int>(std::min<qsizetype>(value, INT_MAX));
}

std::u16string_view utf16(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

}  // namespace

ReportView::ReportView(QWidget* parent)
    : QAbstractScrollArea(parent),
      layout_(
          text_, [this](char16_t c) { return measure(c); },
          [](char16_t c) { return QChar(c).isLetterOrNumber() || c == u'_'; }) {
    installReportViewAccessibility();
    setAccessibleName(QStringLiteral("Report"));
    setFocusPolicy(Qt::StrongFocus);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    setPalette(pal);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);
    fontChanged();
}

ReportView::~ReportView() = default;

void ReportView::setReport(std::string bytes) {
    const QString oldStart = announcedStart();
    text_.assignBytes(std::move(bytes));
    replaced(oldStart);
}

std::string ReportView::takeReport() {
    const QString oldStart = announcedStart();
    std::string bytes = text_.releaseBytes();
    replaced(oldStart);
    return bytes;
}

void ReportView::setText(const QString& text) {
    const QString oldStart = announcedStart();
    if (auto bytes = common::encodeWindows1252(utf16(text))) {
        text_.assignBytes(std::move(*bytes));
    } else {
        text_.assignWide(std::u16string(utf16(text)));
    }
    replaced(oldStart);
}

void ReportView::clear() {
    if (!isEmpty() || text_.isWide()) {
        setReport(std::string());
    }
}

QString ReportView::announcedStart() const {
    return QAccessible::isActive() ? textBetween(0, std::min(size(), kAnnouncedLimit)) : QString();
}

void ReportView::replaced(const QString& oldStart) {
    const bool hadSelection = hasSelection();
    anchor_ = caret_ = 0;
    desiredX_ = -1;
    layout_.rebuild();
    updateScrollBars();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent event(this, 0, oldStart, announcedStart());
        QAccessible::updateAccessibility(&event);
    }
    if (hadSelection) {
        emit selectionChanged();
    }
    emit contentChanged();
}

void ReportView::appendBytes(std::string_view more) {
    if (more.empty()) {
        return;
    }
    const qsizetype at = size();
    text_.append(more);
    layout_.extend();
    // Resizing the scroll bars relays out the frame: once per turn of the event loop, not once
    // per appended piece.
    if (!scrollBarsStale_) {
        scrollBarsStale_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (scrollBarsStale_) {
                    updateScrollBars();
                }
            },
            Qt::QueuedConnection);
    }
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleTextInsertEvent event(this, toAccessibleOffset(at),
                                         textBetween(at, std::min(size(), at + kAnnouncedLimit)));
        QAccessible::updateAccessibility(&event);
    }
    emit contentChanged();
}

void ReportView::appendText(const QString& more) {
    if (auto bytes = common::encodeWindows1252(utf16(more)); bytes && !text_.isWide()) {
        appendBytes(*bytes);
        return;
    }
    // Characters the code page lacks: the whole text is held as UTF-16 from here on.
    std::u16string wide = text_.decode(0, text_.size());
    wide.append(utf16(more));
    const qsizetype at = size();
    text_.assignWide(std::move(wide));
    layout_.extend();
    updateScrollBars();
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleTextInsertEvent event(this, toAccessibleOffset(at), more);
        QAccessible::updateAccessibility(&event);
    }
    emit contentChanged();
}

QString ReportView::textBetween(qsizetype from, qsizetype to) const {
    from = std::clamp<qsizetype>(from, 0, size());
    to = std::clamp<qsizetype>(to, from, size());
    QString out(to - from, Qt::Uninitialized);
    text_.decode(static_cast<std::size_t>(from), static_cast<std::size_t>(to),
                 reinterpret_cast<char16_t*>(out.data()));
    return out;
}

void ReportView::setCursorPosition(qsizetype offset) { moveCaret(offset, false); }

void ReportView::setSelection(qsizetype anchor, qsizetype caret) { select(anchor, caret, true); }

void ReportView::selectAll() { select(0, size(), false); }

void ReportView::copy() const {
    if (!hasSelection()) {
        return;
    }
    QString copied = selectedText();
    copied.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QGuiApplication::clipboard()->setText(copied);
}

bool ReportView::find(const QString& needle, bool backward) {
    const std::u16string_view wanted = utf16(needle);
    std::optional<std::size_t> at;
    if (backward) {
        // The last occurrence that starts before the selection, else the last one of all.
        at = text_.findBackward(wanted, static_cast<std::size_t>(selectionStart()) + wanted.size() -
                                            (wanted.empty() ? 0 : 1));
        if (!at) {
            at = text_.findBackward(wanted, text_.size());
        }
    } else {
        // The first occurrence after the caret, else the first one of all.
        const qsizetype from = hasSelection() ? selectionStart() + 1 : caret_;
        at = text_.findForward(wanted, static_cast<std::size_t>(from));
        if (!at) {
            at = text_.findForward(wanted, 0);
        }
    }
    if (!at) {
        QApplication::beep();
        QToolTip::showText(viewport()->mapToGlobal(QPoint(kMargin, kMargin)),
                           tr("\u201C%1\u201D is not in the report.").arg(needle), this);
        return false;
    }
    const auto start = static_cast<qsizetype>(*at);
    const qsizetype end = start + needle.size();
    select(start, end, false);
    ensureOffsetVisible(end);
    ensureOffsetVisible(start);
    return true;
}

std::optional<QString> ReportView::saveTo(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    std::string scratch;
    const std::string_view bytes = text_.savedBytes(scratch);
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
        static_cast<qint64>(bytes.size())) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return std::nullopt;
}

double ReportView::xOfOffset(qsizetype offset) const {
    offset = std::clamp<qsizetype>(offset, 0, size());
    return static_cast<double>(layout_.xInLine(lineOf(offset), offset)) / kFixedOne;
}

qsizetype ReportView::offsetAtX(qsizetype line, double x) const {
    line = std::clamp<qsizetype>(line, 0, lineCount() - 1);
    return layout_.offsetAt(line, std::llround(x * kFixedOne), true);
}

QRect ReportView::offsetRect(qsizetype offset) const {
    offset = std::clamp<qsizetype>(offset, 0, size());
    const qsizetype line = lineOf(offset);
    const std::int64_t row = line - verticalScrollBar()->value();
    const std::int64_t x = kMargin + layout_.xInLine(line, offset) / kFixedOne - horizontalOffset();
    return QRect(clampToInt(x), clampToInt(kMargin + row * lineHeight()), kCaretWidth,
                 lineHeight());
}

qsizetype ReportView::offsetAt(QPoint viewportPos) const {
    const int y = viewportPos.y() - kMargin;
    const int row = y >= 0 ? y / lineHeight() : -1 - (-y - 1) / lineHeight();
    const qsizetype line =
        std::clamp<qsizetype>(verticalScrollBar()->value() + qsizetype{row}, 0, lineCount() - 1);
    const std::int64_t x = std::int64_t{viewportPos.x()} - kMargin + horizontalOffset();
    return layout_.offsetAt(line, x * kFixedOne, true);
}

void ReportView::ensureOffsetVisible(qsizetype offset) {
    if (scrollBarsStale_) {
        updateScrollBars();
    }
    offset = std::clamp<qsizetype>(offset, 0, size());
    const qsizetype line = lineOf(offset);
    QScrollBar* vertical = verticalScrollBar();
    const int rows = fullyVisibleRows();
    if (line < vertical->value()) {
        vertical->setValue(static_cast<int>(line));
    } else if (line >= vertical->value() + rows) {
        vertical->setValue(static_cast<int>(line - rows + 1));
    }

    // Jump a quarter of the view past the caret so that walking along a line scrolls in steps.
    const std::int64_t x = layout_.xInLine(line, offset) / kFixedOne;
    const std::int64_t width = viewport()->width();
    const std::int64_t left = horizontalOffset();
    QScrollBar* horizontal = horizontalScrollBar();
    if (x < left) {
        const std::int64_t target = std::max<std::int64_t>(0, x - width / 4);
        horizontal->setValue(clampToInt(target / hUnit_));
    } else if (x + kMargin + kCaretWidth > left + width) {
        const std::int64_t target = x + kMargin + kCaretWidth - width + width / 4;
        horizontal->setValue(clampToInt((target + hUnit_ - 1) / hUnit_));
    }
}

QMenu* ReportView::createContextMenu() {
    auto* menu = new QMenu(this);
    const auto withKey = [](const QString& label, QKeySequence::StandardKey key) {
        const QString keyText = QKeySequence(key).toString(QKeySequence::NativeText);
        return keyText.isEmpty() ? label : label + u'\t' + keyText;
    };
    const auto add = [&](const QString& label, QKeySequence::StandardKey key, const char* name,
                         bool enabled, auto run) {
        QAction* action = menu->addAction(withKey(label, key), this, run);
        action->setObjectName(QString::fromLatin1(name));
        action->setEnabled(enabled);
    };
    add(tr("&Copy"), QKeySequence::Copy, "copyAction", hasSelection(), [this] { copy(); });
    menu->addSeparator();
    add(tr("Select All"), QKeySequence::SelectAll, "selectAllAction", !isEmpty(),
        [this] { selectAll(); });
    menu->addSeparator();
    add(tr("Find..."), QKeySequence::Find, "findAction", !isEmpty(),
        [this] { emit findRequested(); });
    add(tr("Save Report As..."), QKeySequence::Save, "saveAction", !isEmpty(),
        [this] { emit saveRequested(); });
    if (!menuActions_.empty()) {
        menu->addSeparator();
        for (QAction* action : menuActions_) {
            menu->addAction(action);
        }
    }
    return menu;
}

void ReportView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.setFont(paintFont_);
    const QPalette& pal = palette();
    const int height = lineHeight();
    const int viewWidth = viewport()->width();
    const std::int64_t left = horizontalOffset();
    const qsizetype firstLine = verticalScrollBar()->value();
    const qsizetype selFrom = selectionStart();
    const qsizetype selTo = selectionEnd();
    const QRect area = event->rect();
    const int firstRow = std::max(0, (area.top() - kMargin) / height);
    const int lastRow = std::max(0, (area.bottom() - kMargin) / height);
    const std::int64_t viewFrom = (left - kMargin) * kFixedOne;
    const std::int64_t viewTo = (left - kMargin + viewWidth) * kFixedOne;
    const double breakWidth = layout_.advanceOf(u' ') / double{kFixedOne};

    for (int row = firstRow; row <= lastRow; ++row) {
        const qsizetype line = firstLine + row;
        if (line >= lineCount()) {
            break;
        }
        const qsizetype start = lineStart(line);
        const qsizetype end = lineEnd(line);
        const int top = kMargin + row * height;
        const auto screenX = [&](qsizetype offset) {
            return kMargin + static_cast<double>(layout_.xInLine(line, offset)) / kFixedOne -
                   static_cast<double>(left);
        };

        QRectF selected;
        if (selFrom < selTo && selFrom <= end && selTo > start) {
            const double from = std::max(-1.0, screenX(std::max(selFrom, start)));
            double to = screenX(std::min(selTo, end));
            if (selTo > end) {
                to += breakWidth;
            }
            to = std::min(to, viewWidth + 1.0);
            if (to > from) {
                selected = QRectF(from, top, to - from, height);
                painter.fillRect(selected, pal.brush(QPalette::Highlight));
            }
        }

        const qsizetype runFrom = layout_.offsetAt(line, viewFrom, false);
        const qsizetype runTo = std::min<qsizetype>(end, layout_.offsetAt(line, viewTo, false) + 1);
        if (runFrom >= runTo) {
            continue;
        }
        QString run = textBetween(runFrom, runTo);
        for (QChar& c : run) {
            c = QChar(displayChar(c.unicode()));
        }
        const QPointF origin(screenX(runFrom), top + ascent_);
        painter.setPen(pal.color(QPalette::Text));
        painter.drawText(origin, run);
        if (!selected.isEmpty()) {
            painter.save();
            painter.setClipRect(selected);
            painter.setPen(pal.color(QPalette::HighlightedText));
            painter.drawText(origin, run);
            painter.restore();
        }
    }

    if (hasFocus()) {
        const QRect caret = offsetRect(caret_);
        if (caret.intersects(area)) {
            painter.fillRect(caret, pal.brush(QPalette::Text));
        }
    }
}

void ReportView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void ReportView::keyPressEvent(QKeyEvent* event) {
    if (event == QKeySequence::SelectAll) {
        selectAll();
        return;
    }
    if (event == QKeySequence::Copy) {
        copy();
        return;
    }
    if (event == QKeySequence::Find) {
        emit findRequested();
        return;
    }
    const bool extend = event->modifiers().testFlag(Qt::ShiftModifier);
    const bool control = event->modifiers().testFlag(Qt::ControlModifier);
    const qsizetype line = lineOf(caret_);
    const auto moveLines = [&](qsizetype count) {
        const std::int64_t x = desiredX_ >= 0 ? desiredX_ : layout_.xInLine(line, caret_);
        const qsizetype target = line + count;
        if (target < 0) {
            moveCaret(0, extend);
        } else if (target >= lineCount()) {
            moveCaret(size(), extend);
        } else {
            moveCaret(layout_.offsetAt(target, x, true), extend);
        }
        desiredX_ = x;
    };

    switch (event->key()) {
        case Qt::Key_Left: {
            qsizetype target = caret_;
            if (hasSelection() && !extend) {
                target = selectionStart();
            } else if (control) {
                target = layout_.wordStart(caret_ > lineStart(line) ? caret_ - 1 : caret_);
                if (target == caret_ && line > 0) {
                    target = lineEnd(line - 1);
                }
            } else if (caret_ > lineStart(line)) {
                target = caret_ - 1;
            } else if (line > 0) {
                target = lineEnd(line - 1);
            }
            moveCaret(target, extend);
            break;
        }
        case Qt::Key_Right: {
            qsizetype target = caret_;
            if (hasSelection() && !extend) {
                target = selectionEnd();
            } else if (control && caret_ < lineEnd(line)) {
                target = layout_.wordEnd(caret_);
            } else if (caret_ < lineEnd(line)) {
                target = caret_ + 1;
            } else if (line + 1 < lineCount()) {
                target = lineStart(line + 1);
            }
            moveCaret(target, extend);
            break;
        }
        case Qt::Key_Up:
            moveLines(-1);
            break;
        case Qt::Key_Down:
            moveLines(1);
            break;
        case Qt::Key_PageUp:
        case Qt::Key_PageDown: {
            const int rows = std::max(1, fullyVisibleRows() - 1);
            const int step = event->key() == Qt::Key_PageUp ? -rows : rows;
            QScrollBar* vertical = verticalScrollBar();
            vertical->setValue(vertical->value() + step);
            moveLines(step);
            break;
        }
        case Qt::Key_Home:
            moveCaret(control ? 0 : lineStart(line), extend);
            break;
        case Qt::Key_End:
            moveCaret(control ? size() : lineEnd(line), extend);
            break;
        default:
            // Read-only: typed keys go on to the window (Enter to its default button).
            event->ignore();
            return;
    }
    event->accept();
}

void ReportView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    moveCaret(offsetAt(event->position().toPoint()),
              event->modifiers().testFlag(Qt::ShiftModifier));
}

void ReportView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons().testFlag(Qt::LeftButton)) {
        moveCaret(offsetAt(event->position().toPoint()), true);
    }
}

void ReportView::mouseReleaseEvent(QMouseEvent* event) {
    event->setAccepted(event->button() == Qt::LeftButton);
}

void ReportView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const qsizetype offset = offsetAt(event->position().toPoint());
    select(layout_.wordStart(offset), layout_.wordEnd(offset), true);
}

void ReportView::contextMenuEvent(QContextMenuEvent* event) {
    std::unique_ptr<QMenu> menu(createContextMenu());
    menu->exec(event->globalPos());
}

void ReportView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void ReportView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void ReportView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        fontChanged();
    }
}

void ReportView::scrollContentsBy(int, int) { viewport()->update(); }

int ReportView::fullyVisibleRows() const {
    return std::max(1, (viewport()->height() - kMargin) / lineHeight());
}

std::int64_t ReportView::horizontalOffset() const {
    return std::int64_t{horizontalScrollBar()->value()} * hUnit_;
}

void ReportView::updateScrollBars() {
    scrollBarsStale_ = false;
    const int rows = fullyVisibleRows();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(0, clampToInt(lineCount() - rows));
    vertical->setPageStep(rows);
    vertical->setSingleStep(1);

    const std::int64_t contentWidth =
        (layout_.maxLineWidth() + kFixedOne - 1) / kFixedOne + kHorizontalPadding;
    const std::int64_t viewWidth = viewport()->width();
    hUnit_ = static_cast<int>(
        std::max<std::int64_t>(1, (contentWidth + kMaxScrollRange - 1) / kMaxScrollRange));
    const std::int64_t excess = std::max<std::int64_t>(0, contentWidth - viewWidth);
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, clampToInt((excess + hUnit_ - 1) / hUnit_));
    horizontal->setPageStep(std::max(1, clampToInt(viewWidth / hUnit_)));
    horizontal->setSingleStep(std::max(1, 20 / hUnit_));
}

std::int32_t ReportView::measure(char16_t c) const {
    const qreal width = QFontMetricsF(paintFont_).horizontalAdvance(QChar(displayChar(c)));
    return static_cast<std::int32_t>(std::max<qreal>(0, std::round(width * kFixedOne)));
}

// Kerning off, so that a character's width is its own advance wherever it stands.
void ReportView::fontChanged() {
    paintFont_ = font();
    paintFont_.setKerning(false);
    const QFontMetricsF metrics(paintFont_);
    ascent_ = static_cast<int>(std::ceil(metrics.ascent()));
    lineSpacing_ = std::max(1, static_cast<int>(std::ceil(metrics.lineSpacing())));
    layout_.setMeasure([this](char16_t c) { return measure(c); });
    updateScrollBars();
    viewport()->update();
}

qsizetype ReportView::normalized(qsizetype offset) const {
    offset = std::clamp<qsizetype>(offset, 0, size());
    return std::min(offset, lineEnd(lineOf(offset)));
}

void ReportView::moveCaret(qsizetype offset, bool keepAnchor) {
    select(keepAnchor ? anchor_ : offset, offset, true);
}

void ReportView::select(qsizetype anchor, qsizetype caret, bool scroll) {
    anchor = normalized(anchor);
    caret = normalized(caret);
    desiredX_ = -1;
    if (scroll) {
        ensureOffsetVisible(caret);
    }
    if (anchor == anchor_ && caret == caret_) {
        return;
    }
    anchor_ = anchor;
    caret_ = caret;
    viewport()->update();
    notifySelection();
}

void ReportView::notifySelection() {
    emit selectionChanged();
    if (!QAccessible::isActive()) {
        return;
    }
    if (hasSelection()) {
        QAccessibleTextSelectionEvent event(this, toAccessibleOffset(selectionStart()),
                                            toAccessibleOffset(selectionEnd()));
        event.setCursorPosition(toAccessibleOffset(caret_));
        QAccessible::updateAccessibility(&event);
    } else {
        QAccessibleTextCursorEvent event(this, toAccessibleOffset(caret_));
        QAccessible::updateAccessibility(&event);
    }
}

}  // namespace trailscan::report
