#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <vector>

class QMenu;

namespace trailscan::search {

// A read-only text view for reports of any size. Lines end at CR LF and nowhere else; a bare
// CR, a bare LF and every other control character is shown as its Unicode control picture
// (U+2400 + code, DEL as U+2421), a lone surrogate as U+FFFD. Only the visible rows, and within
// a long row only the characters under the viewport, are laid out and painted: per-line start
// offsets and prefix sums of the character advances in blocks of 4096 characters find the x of
// any column and the column at any x in O(log n + 4096), so a line of tens of millions of
// characters shows and scrolls at once. No wrapping, no kerning (each character takes its own
// advance), left to right only.
class ReportView : public QAbstractScrollArea {
    Q_OBJECT

  public:
    explicit ReportView(QWidget* parent = nullptr);
    ~ReportView() override;

    void setText(const QString& text);
    // Costs O(more.size()): only the new characters are indexed; nothing is laid out again, and
    // the scroll bars follow once control returns to the event loop.
    void appendText(const QString& more);
    void clear();
    const QString& text() const { return text_; }

    // The selected characters exactly as they stand in the text (CR LF kept).
    QString selectedText() const;
    bool hasSelection() const { return anchor_ != caret_; }
    qsizetype selectionStart() const { return std::min(anchor_, caret_); }
    qsizetype selectionEnd() const { return std::max(anchor_, caret_); }
    qsizetype cursorPosition() const { return caret_; }
    // Offsets between a CR and its LF move to the end of the line.
    void setCursorPosition(qsizetype offset);
    void setSelection(qsizetype anchor, qsizetype caret);
    void selectAll();
    // Puts the selection on the clipboard with each CR LF as "\n", which the platform
    // clipboard turns into its own line ending.
    void copy() const;

    // The line structure and geometry, in characters and content pixels (x from a line's start).
    qsizetype lineCount() const { return static_cast<qsizetype>(lineStarts_.size()); }
    qsizetype lineStart(qsizetype line) const { return lineStarts_[static_cast<size_t>(line)]; }
    qsizetype lineEnd(qsizetype line) const;
    qsizetype lineOf(qsizetype offset) const;
    double xOfOffset(qsizetype offset) const;
    // The character boundary nearest to x in the line; x past the line's end gives lineEnd.
    qsizetype offsetAtX(qsizetype line, double x) const;
    double maxLineWidth() const { return static_cast<double>(maxLineWidthFixed()) / kFixedOne; }
    // Pixels of content per step of the horizontal scroll bar (more than 1 only for lines
    // wider than a scroll bar's int range).
    int horizontalScrollUnit() const { return hUnit_; }

    // The caret-sized rectangle of an offset and the offset under a point, in viewport
    // coordinates.
    QRect offsetRect(qsizetype offset) const;
    qsizetype offsetAt(QPoint viewportPos) const;
    void ensureOffsetVisible(qsizetype offset);

    // The context menu with "Copy" and "Select All"; the caller owns it.
    QMenu* createContextMenu();

  signals:
    void selectionChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    static constexpr int kFixedOne = 64;  // advances are kept in 1/64 pixel
    static constexpr int kBlockShift = 12;
    static constexpr qsizetype kBlockSize = qsizetype{1} << kBlockShift;

    void resetIndex();
    void indexNewText();
    int32_t advance(char16_t c) const {
        const int32_t known = advances_[c];
        return known >= 0 ? known : measure(c);
    }
    int32_t measure(char16_t c) const;
    int64_t xInLineFixed(qsizetype line, qsizetype offset) const;
    qsizetype offsetAtFixed(qsizetype line, int64_t x, bool nearest) const;
    int64_t maxLineWidthFixed() const;
    int lineHeight() const;
    int fullyVisibleRows() const;
    int64_t horizontalOffset() const;
    void updateScrollBars();
    void fontChanged();
    void moveCaret(qsizetype offset, bool keepAnchor);
    void select(qsizetype anchor, qsizetype caret, bool scroll);
    qsizetype normalized(qsizetype offset) const;
    qsizetype wordStart(qsizetype offset) const;
    qsizetype wordEnd(qsizetype offset) const;
    void notifySelection();

    QString text_;
    QFont paintFont_;
    // advances_[c]: advance of character c in 1/64 pixel, -1 until first measured.
    mutable std::vector<int32_t> advances_;
    int ascent_ = 0;
    int lineSpacing_ = 1;

    // The index: line i starts at lineStarts_[i] and at x lineX_[i] of the text laid out as
    // one row (line breaks have no width); blockX_[k] is that x at offset k * kBlockSize.
    std::vector<qsizetype> lineStarts_;
    std::vector<int64_t> lineX_;
    std::vector<int64_t> blockX_;
    qsizetype indexed_ = 0;
    int64_t runningX_ = 0;
    int64_t widestClosedLine_ = 0;

    qsizetype anchor_ = 0;
    qsizetype caret_ = 0;
    int64_t desiredX_ = -1;  // the caret's x kept over Up and Down, in 1/64 pixel
    int hUnit_ = 1;
    bool scrollBarsStale_ = false;
};

}  // namespace trailscan::search
