#include "trailscan/search/report_view.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <climits>
#include <cmath>
#include <memory>

namespace trailscan::search {
namespace {

constexpr int kMargin = 4;
constexpr int kCaretWidth = 1;
constexpr int64_t kHorizontalPadding = 2 * kMargin + kCaretWidth;
// Scroll bars hold an int; content wider than this is scrolled in steps of several pixels.
constexpr int64_t kMaxScrollRange = int64_t{1} << 30;

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

bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == u'_'; }

int clampToInt(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, INT_MIN / 2, INT_MAX / 2));
}

// Screen readers read the view as a read-only multi-line text box.
class ReportViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit ReportViewAccessible(ReportView* view)
        : QAccessibleWidget(view, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.editable = false;
        s.multiLine = true;
        s.selectableText = true;
        s.focusable = true;
        return s;
    }

    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Value) {
            return view()->text();
        }
        return QAccessibleWidget::text(type);
    }

    void selection(int index, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
        if (index == 0 && view()->hasSelection()) {
            *startOffset = toInt(view()->selectionStart());
            *endOffset = toInt(view()->selectionEnd());
        }
    }
    int selectionCount() const override { return view()->hasSelection() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override {
        view()->setSelection(startOffset, endOffset);
    }
    void removeSelection(int index) override {
        if (index == 0) {
            view()->setCursorPosition(view()->cursorPosition());
        }
    }
    void setSelection(int index, int startOffset, int endOffset) override {
        if (index == 0) {
            view()->setSelection(startOffset, endOffset);
        }
    }
    int cursorPosition() const override { return toInt(view()->cursorPosition()); }
    void setCursorPosition(int position) override { view()->setCursorPosition(position); }

    QString text(int startOffset, int endOffset) const override {
        const qsizetype size = view()->text().size();
        const qsizetype from = std::clamp<qsizetype>(startOffset, 0, size);
        const qsizetype to = std::clamp<qsizetype>(endOffset, from, size);
        return view()->text().mid(from, to - from);
    }
    int characterCount() const override { return toInt(view()->text().size()); }

    // Lines and characters are answered from the view's line index; words and sentences by
    // Qt's generic boundary finder.
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                         int* endOffset) const override {
        *startOffset = *endOffset = -1;
        const qsizetype size = view()->text().size();
        if (offset < 0 || offset > size) {
            return {};
        }
        switch (type) {
            case QAccessible::LineBoundary:
            case QAccessible::ParagraphBoundary:
                return lineRange(view()->lineOf(offset), startOffset, endOffset);
            case QAccessible::CharBoundary:
                if (offset == size) {
                    *startOffset = *endOffset = offset;
                    return {};
                }
                *startOffset = offset;
                *endOffset = offset + 1;
                return view()->text().mid(offset, 1);
            case QAccessible::NoBoundary:
                *startOffset = 0;
                *endOffset = toInt(size);
                return view()->text();
            default:
                return QAccessibleTextInterface::textAtOffset(offset, type, startOffset, endOffset);
        }
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                             int* endOffset) const override {
        *startOffset = *endOffset = -1;
        if (type != QAccessible::LineBoundary && type != QAccessible::ParagraphBoundary) {
            return QAccessibleTextInterface::textBeforeOffset(offset, type, startOffset, endOffset);
        }
        const qsizetype line = view()->lineOf(std::clamp<qsizetype>(offset, 0, size()));
        return line > 0 ? lineRange(line - 1, startOffset, endOffset) : QString();
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                            int* endOffset) const override {
        *startOffset = *endOffset = -1;
        if (type != QAccessible::LineBoundary && type != QAccessible::ParagraphBoundary) {
            return QAccessibleTextInterface::textAfterOffset(offset, type, startOffset, endOffset);
        }
        const qsizetype line = view()->lineOf(std::clamp<qsizetype>(offset, 0, size()));
        return line + 1 < view()->lineCount() ? lineRange(line + 1, startOffset, endOffset)
                                              : QString();
    }

    QRect characterRect(int offset) const override {
        const ReportView* v = view();
        QRect r = v->offsetRect(offset);
        if (offset < v->lineEnd(v->lineOf(offset))) {
            r.setRight(v->offsetRect(offset + 1).left() - 1);
        }
        return QRect(v->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint local = view()->viewport()->mapFromGlobal(point);
        if (!view()->viewport()->rect().contains(local)) {
            return -1;
        }
        return toInt(view()->offsetAt(local));
    }
    void scrollToSubstring(int startIndex, int endIndex) override {
        view()->ensureOffsetVisible(endIndex);
        view()->ensureOffsetVisible(startIndex);
    }
    // One font and colour throughout.
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = 0;
        *endOffset = characterCount();
        Q_UNUSED(offset);
        return {};
    }

  private:
    ReportView* view() const { return static_cast<ReportView*>(widget()); }
    qsizetype size() const { return view()->text().size(); }
    static int toInt(qsizetype value) {
        return static_cast<int>(std::min<qsizetype>(value, INT_MAX));
    }

    // A line with its CR LF, as screen readers expect a line to end with its break.
    QString lineRange(qsizetype line, int* startOffset, int* endOffset) const {
        const ReportView* v = view();
        const qsizetype from = v->lineStart(line);
        const qsizetype to = line + 1 < v->lineCount() ? v->lineStart(line + 1) : size();
        *startOffset = toInt(from);
        *endOffset = toInt(to);
        return v->text().mid(from, to - from);
    }
};

QAccessibleInterface* accessibleForReportView(const QString& className, QObject* object) {
    if (className == QLatin1String(ReportView::staticMetaObject.className())) {
        if (auto* view = qobject_cast<ReportView*>(object)) {
            return new ReportViewAccessible(view);
        }
    }
    return nullptr;
}

void installAccessibleFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(&accessibleForReportView);
        return true;
    }();
    Q_UNUSED(installed);
}

}  // namespace

ReportView::ReportView(QWidget* parent)
    : QAbstractScrollArea(parent), advances_(size_t{1} << 16, -1) {
    installAccessibleFactory();
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

void ReportView::setText(const QString& text) {
    const bool hadSelection = hasSelection();
    const QString old = text_;
    text_ = text;
    anchor_ = caret_ = 0;
    desiredX_ = -1;
    resetIndex();
    indexNewText();
    updateScrollBars();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent event(this, 0, old, text_);
        QAccessible::updateAccessibility(&event);
    }
    if (hadSelection) {
        emit selectionChanged();
    }
}

void ReportView::appendText(const QString& more) {
    if (more.isEmpty()) {
        return;
    }
    const qsizetype at = text_.size();
    text_.append(more);
    indexNewText();
    // Resizing the scroll bars relays out the frame: once per turn of the event loop, not once
    // per appended hit.
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
        QAccessibleTextInsertEvent event(this, static_cast<int>(std::min<qsizetype>(at, INT_MAX)),
                                         more);
        QAccessible::updateAccessibility(&event);
    }
}

void ReportView::clear() { setText(QString()); }

QString ReportView::selectedText() const {
    return text_.mid(selectionStart(), selectionEnd() - selectionStart());
}

void ReportView::setCursorPosition(qsizetype offset) { moveCaret(offset, false); }

void ReportView::setSelection(qsizetype anchor, qsizetype caret) { select(anchor, caret, true); }

void ReportView::selectAll() { select(0, text_.size(), false); }

void ReportView::copy() const {
    if (!hasSelection()) {
        return;
    }
    QString copied = selectedText();
    copied.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QGuiApplication::clipboard()->setText(copied);
}

qsizetype ReportView::lineEnd(qsizetype line) const {
    return line + 1 < lineCount() ? lineStart(line + 1) - 2 : text_.size();
}

qsizetype ReportView::lineOf(qsizetype offset) const {
    const auto it = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
    return std::max<qsizetype>(0, (it - lineStarts_.begin()) - 1);
}

double ReportView::xOfOffset(qsizetype offset) const {
    offset = std::clamp<qsizetype>(offset, 0, text_.size());
    return static_cast<double>(xInLineFixed(lineOf(offset), offset)) / kFixedOne;
}

qsizetype ReportView::offsetAtX(qsizetype line, double x) const {
    line = std::clamp<qsizetype>(line, 0, lineCount() - 1);
    return offsetAtFixed(line, std::llround(x * kFixedOne), true);
}

QRect ReportView::offsetRect(qsizetype offset) const {
    offset = std::clamp<qsizetype>(offset, 0, text_.size());
    const qsizetype line = lineOf(offset);
    const int64_t row = line - verticalScrollBar()->value();
    const int64_t x = kMargin + xInLineFixed(line, offset) / kFixedOne - horizontalOffset();
    return QRect(clampToInt(x), clampToInt(kMargin + row * lineHeight()), kCaretWidth,
                 lineHeight());
}

qsizetype ReportView::offsetAt(QPoint viewportPos) const {
    const int y = viewportPos.y() - kMargin;
    const int row = y >= 0 ? y / lineHeight() : -1 - (-y - 1) / lineHeight();
    const qsizetype line =
        std::clamp<qsizetype>(verticalScrollBar()->value() + qsizetype{row}, 0, lineCount() - 1);
    const int64_t x = int64_t{viewportPos.x()} - kMargin + horizontalOffset();
    return offsetAtFixed(line, x * kFixedOne, true);
}

void ReportView::ensureOffsetVisible(qsizetype offset) {
    if (scrollBarsStale_) {
        updateScrollBars();
    }
    offset = std::clamp<qsizetype>(offset, 0, text_.size());
    const qsizetype line = lineOf(offset);
    QScrollBar* vertical = verticalScrollBar();
    const int rows = fullyVisibleRows();
    if (line < vertical->value()) {
        vertical->setValue(static_cast<int>(line));
    } else if (line >= vertical->value() + rows) {
        vertical->setValue(static_cast<int>(line - rows + 1));
    }

    // Jump a quarter of the view past the caret so that walking along a line scrolls in steps.
    const int64_t x = xInLineFixed(line, offset) / kFixedOne;
    const int64_t width = viewport()->width();
    const int64_t left = horizontalOffset();
    QScrollBar* horizontal = horizontalScrollBar();
    if (x < left) {
        const int64_t target = std::max<int64_t>(0, x - width / 4);
        horizontal->setValue(clampToInt(target / hUnit_));
    } else if (x + kMargin + kCaretWidth > left + width) {
        const int64_t target = x + kMargin + kCaretWidth - width + width / 4;
        horizontal->setValue(clampToInt((target + hUnit_ - 1) / hUnit_));
    }
}

QMenu* ReportView::createContextMenu() {
    auto* menu = new QMenu(this);
    const auto withKey = [](const QString& label, QKeySequence::StandardKey key) {
        const QString keyText = QKeySequence(key).toString(QKeySequence::NativeText);
        return keyText.isEmpty() ? label : label + u'\t' + keyText;
    };
    QAction* copyAction =
        menu->addAction(withKey(tr("&Copy"), QKeySequence::Copy), this, [this] { copy(); });
    copyAction->setObjectName(QStringLiteral("copyAction"));
    copyAction->setEnabled(hasSelection());
    menu->addSeparator();
    QAction* selectAllAction = menu->addAction(withKey(tr("Select All"), QKeySequence::SelectAll),
                                               this, [this] { selectAll(); });
    selectAllAction->setObjectName(QStringLiteral("selectAllAction"));
    selectAllAction->setEnabled(!text_.isEmpty());
    return menu;
}

void ReportView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.setFont(paintFont_);
    const QPalette& pal = palette();
    const int height = lineHeight();
    const int viewWidth = viewport()->width();
    const int64_t left = horizontalOffset();
    const qsizetype firstLine = verticalScrollBar()->value();
    const qsizetype selFrom = selectionStart();
    const qsizetype selTo = selectionEnd();
    const QRect area = event->rect();
    const int firstRow = std::max(0, (area.top() - kMargin) / height);
    const int lastRow = std::max(0, (area.bottom() - kMargin) / height);
    const int64_t viewFrom = (left - kMargin) * kFixedOne;
    const int64_t viewTo = (left - kMargin + viewWidth) * kFixedOne;
    const double breakWidth = advance(u' ') / double{kFixedOne};

    for (int row = firstRow; row <= lastRow; ++row) {
        const qsizetype line = firstLine + row;
        if (line >= lineCount()) {
            break;
        }
        const qsizetype start = lineStart(line);
        const qsizetype end = lineEnd(line);
        const int top = kMargin + row * height;
        const auto screenX = [&](qsizetype offset) {
            return kMargin + static_cast<double>(xInLineFixed(line, offset)) / kFixedOne -
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

        const qsizetype runFrom = offsetAtFixed(line, viewFrom, false);
        const qsizetype runTo = std::min(end, offsetAtFixed(line, viewTo, false) + 1);
        if (runFrom >= runTo) {
            continue;
        }
        QString run(runTo - runFrom, Qt::Uninitialized);
        const QChar* source = text_.constData() + runFrom;
        for (qsizetype i = 0; i < run.size(); ++i) {
            run[i] = QChar(displayChar(source[i].unicode()));
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
    const bool extend = event->modifiers().testFlag(Qt::ShiftModifier);
    const bool control = event->modifiers().testFlag(Qt::ControlModifier);
    const qsizetype line = lineOf(caret_);
    const auto moveLines = [&](qsizetype count) {
        const int64_t x = desiredX_ >= 0 ? desiredX_ : xInLineFixed(line, caret_);
        const qsizetype target = line + count;
        if (target < 0) {
            moveCaret(0, extend);
        } else if (target >= lineCount()) {
            moveCaret(text_.size(), extend);
        } else {
            moveCaret(offsetAtFixed(target, x, true), extend);
        }
        desiredX_ = x;
    };

    switch (event->key()) {
        case Qt::Key_Left: {
            qsizetype target = caret_;
            if (hasSelection() && !extend) {
                target = selectionStart();
            } else if (control) {
                target = wordStart(caret_ > lineStart(line) ? caret_ - 1 : caret_);
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
                target = wordEnd(caret_);
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
            moveCaret(control ? text_.size() : lineEnd(line), extend);
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
    select(wordStart(offset), wordEnd(offset), true);
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

void ReportView::resetIndex() {
    lineStarts_.assign(1, 0);
    lineX_.assign(1, 0);
    blockX_.clear();
    indexed_ = 0;
    runningX_ = 0;
    widestClosedLine_ = 0;
}

// One pass over the characters not yet indexed: line starts at each CR LF and the running x,
// recorded at every block boundary.
void ReportView::indexNewText() {
    const char16_t* data = reinterpret_cast<const char16_t*>(text_.utf16());
    const qsizetype size = text_.size();
    // A CR that ended the earlier text was counted as a character; it may now begin a break.
    if (indexed_ > 0 && indexed_ < size && data[indexed_ - 1] == u'\r' && data[indexed_] == u'\n') {
        --indexed_;
        runningX_ -= advance(u'\r');
    }
    const int32_t* advances = advances_.data();
    constexpr qsizetype blockMask = kBlockSize - 1;
    int64_t x = runningX_;
    qsizetype i = indexed_;
    while (i < size) {
        if ((i & blockMask) == 0 && static_cast<size_t>(i >> kBlockShift) == blockX_.size()) {
            blockX_.push_back(x);
        }
        const char16_t c = data[i];
        if (c == u'\r' && i + 1 < size && data[i + 1] == u'\n') {
            widestClosedLine_ = std::max(widestClosedLine_, x - lineX_.back());
            if (((i + 1) & blockMask) == 0 &&
                static_cast<size_t>((i + 1) >> kBlockShift) == blockX_.size()) {
                blockX_.push_back(x);
            }
            i += 2;
            lineStarts_.push_back(i);
            lineX_.push_back(x);
            continue;
        }
        const int32_t known = advances[c];
        x += known >= 0 ? known : measure(c);
        ++i;
    }
    indexed_ = size;
    runningX_ = x;
}

int32_t ReportView::measure(char16_t c) const {
    const QFontMetricsF metrics(paintFont_);
    const qreal width = metrics.horizontalAdvance(QChar(displayChar(c)));
    const auto fixed = static_cast<int32_t>(std::max<qreal>(0, std::round(width * kFixedOne)));
    advances_[c] = fixed;
    return fixed;
}

int64_t ReportView::xInLineFixed(qsizetype line, qsizetype offset) const {
    const qsizetype start = lineStart(line);
    offset = std::clamp(offset, start, lineEnd(line));
    qsizetype from = start;
    int64_t x = 0;
    if (!blockX_.empty()) {
        const size_t block =
            std::min(static_cast<size_t>(offset >> kBlockShift), blockX_.size() - 1);
        const qsizetype blockStart = static_cast<qsizetype>(block) << kBlockShift;
        if (blockStart > start) {
            from = blockStart;
            x = blockX_[block] - lineX_[static_cast<size_t>(line)];
        }
    }
    const QChar* data = text_.constData();
    for (; from < offset; ++from) {
        x += advance(data[from].unicode());
    }
    return x;
}

// nearest: the character boundary closest to x; otherwise the character that covers x.
qsizetype ReportView::offsetAtFixed(qsizetype line, int64_t x, bool nearest) const {
    const qsizetype start = lineStart(line);
    const qsizetype end = lineEnd(line);
    if (x <= 0) {
        return start;
    }
    const int64_t lineX = lineX_[static_cast<size_t>(line)];
    qsizetype from = start;
    int64_t fromX = 0;
    const size_t firstBlock = static_cast<size_t>((start + kBlockSize - 1) >> kBlockShift);
    const size_t lastBlock = std::min(blockX_.size(), static_cast<size_t>(end >> kBlockShift) + 1);
    if (firstBlock < lastBlock) {
        const auto first = blockX_.begin() + static_cast<std::ptrdiff_t>(firstBlock);
        const auto last = blockX_.begin() + static_cast<std::ptrdiff_t>(lastBlock);
        auto it = std::upper_bound(first, last, lineX + x);
        if (it != first) {
            --it;
            from = static_cast<qsizetype>(it - blockX_.begin()) << kBlockShift;
            fromX = *it - lineX;
        }
    }
    const QChar* data = text_.constData();
    for (; from < end; ++from) {
        const int32_t width = advance(data[from].unicode());
        if (x < fromX + (nearest ? (width + 1) / 2 : width)) {
            return from;
        }
        fromX += width;
    }
    return end;
}

int64_t ReportView::maxLineWidthFixed() const {
    return std::max(widestClosedLine_, runningX_ - lineX_.back());
}

int ReportView::lineHeight() const { return lineSpacing_; }

int ReportView::fullyVisibleRows() const {
    return std::max(1, (viewport()->height() - kMargin) / lineHeight());
}

int64_t ReportView::horizontalOffset() const {
    return int64_t{horizontalScrollBar()->value()} * hUnit_;
}

void ReportView::updateScrollBars() {
    scrollBarsStale_ = false;
    const int rows = fullyVisibleRows();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(0, clampToInt(lineCount() - rows));
    vertical->setPageStep(rows);
    vertical->setSingleStep(1);

    const int64_t contentWidth =
        (maxLineWidthFixed() + kFixedOne - 1) / kFixedOne + kHorizontalPadding;
    const int64_t viewWidth = viewport()->width();
    hUnit_ = static_cast<int>(
        std::max<int64_t>(1, (contentWidth + kMaxScrollRange - 1) / kMaxScrollRange));
    const int64_t excess = std::max<int64_t>(0, contentWidth - viewWidth);
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, clampToInt((excess + hUnit_ - 1) / hUnit_));
    horizontal->setPageStep(std::max(1, clampToInt(viewWidth / hUnit_)));
    horizontal->setSingleStep(std::max(1, 20 / hUnit_));
}

// Kerning off, so that a character's width is its own advance wherever it stands.
void ReportView::fontChanged() {
    paintFont_ = font();
    paintFont_.setKerning(false);
    const QFontMetricsF metrics(paintFont_);
    ascent_ = static_cast<int>(std::ceil(metrics.ascent()));
    lineSpacing_ = std::max(1, static_cast<int>(std::ceil(metrics.lineSpacing())));
    std::fill(advances_.begin(), advances_.end(), -1);
    resetIndex();
    indexNewText();
    updateScrollBars();
    viewport()->update();
}

qsizetype ReportView::normalized(qsizetype offset) const {
    offset = std::clamp<qsizetype>(offset, 0, text_.size());
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

qsizetype ReportView::wordStart(qsizetype offset) const {
    const qsizetype start = lineStart(lineOf(offset));
    if (offset < text_.size() && !isWordChar(text_[offset])) {
        return offset;
    }
    while (offset > start && isWordChar(text_[offset - 1])) {
        --offset;
    }
    return offset;
}

qsizetype ReportView::wordEnd(qsizetype offset) const {
    const qsizetype end = lineEnd(lineOf(offset));
    if (offset < end && !isWordChar(text_[offset])) {
        return offset + 1;
    }
    while (offset < end && isWordChar(text_[offset])) {
        ++offset;
    }
    return offset;
}

void ReportView::notifySelection() {
    emit selectionChanged();
    if (!QAccessible::isActive()) {
        return;
    }
    const auto toInt = [](qsizetype v) {
        return static_cast<int>(std::min<qsizetype>(v, INT_MAX));
    };
    if (hasSelection()) {
        QAccessibleTextSelectionEvent event(this, toInt(selectionStart()), toInt(selectionEnd()));
        event.setCursorPosition(toInt(caret_));
        QAccessible::updateAccessibility(&event);
    } else {
        QAccessibleTextCursorEvent event(this, toInt(caret_));
        QAccessible::updateAccessibility(&event);
    }
}

}  // namespace trailscan::search
