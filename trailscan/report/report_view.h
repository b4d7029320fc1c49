#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "trailscan/report/report_layout.h"
#include "trailscan/report/report_text.h"

class QAction;
class QMenu;

namespace trailscan::report {

// A read-only text view for reports of any size, holding the report as the log's bytes. Lines
// end at CR LF and nowhere else; a bare CR, a bare LF and every other control character is
// shown as its Unicode control picture (U+2400 + code, DEL as U+2421), a lone surrogate as
// U+FFFD. Only the visible rows, and within a long row only the characters under the viewport,
// are decoded and painted. No wrapping, no kerning, left to right only.
class ReportView : public QAbstractScrollArea {
    Q_OBJECT

  public:
    explicit ReportView(QWidget* parent = nullptr);
    ~ReportView() override;

    // A report of log bytes, taken over without a copy.
    void setReport(std::string bytes);
    // Gives the bytes back and empties the view, so the next report can be built in them.
    std::string takeReport();
    // Text from the keyboard or the program: held as bytes when the code page holds it, as
    // typed otherwise.
    void setText(const QString& text);
    // Costs O(more.size()): only the new characters are indexed, and the scroll bars follow
    // once control returns to the event loop.
    void appendBytes(std::string_view more);
    void appendText(const QString& more);
    void clear();

    const ReportText& content() const { return text_; }
    qsizetype size() const { return static_cast<qsizetype>(text_.size()); }
    bool isEmpty() const { return text_.empty(); }
    // The whole text decoded; for small reports and tests.
    QString text() const { return textBetween(0, size()); }
    QString textBetween(qsizetype from, qsizetype to) const;

    // The selected characters exactly as they stand in the text (CR LF kept).
    QString selectedText() const { return textBetween(selectionStart(), selectionEnd()); }
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

    // Selects the next occurrence of `needle` after the caret (or the previous one before the
    // selection), wrapping at the end, and scrolls it into view. Exact characters, so case
    // matters. False when the report does not hold it; the view then says so in a tool tip.
    bool find(const QString& needle, bool backward = false);
    // Writes the report as it is held (the log's bytes, CR LF line breaks) to `path` through a
    // temporary file that replaces it only when complete. Returns the reason on failure.
    std::optional<QString> saveTo(const QString& path) const;

    // The line structure and geometry, in characters and content pixels (x from a line's start).
    const ReportLayout& layout() const { return layout_; }
    qsizetype lineCount() const { return layout_.lineCount(); }
    qsizetype lineStart(qsizetype line) const { return layout_.lineStart(line); }
    qsizetype lineEnd(qsizetype line) const { return layout_.lineEnd(line); }
    qsizetype lineOf(qsizetype offset) const { return layout_.lineOf(offset); }
    double xOfOffset(qsizetype offset) const;
    // The character boundary nearest to x in the line; x past the line's end gives lineEnd.
    qsizetype offsetAtX(qsizetype line, double x) const;
    double maxLineWidth() const {
        return static_cast<double>(layout_.maxLineWidth()) / ReportLayout::kFixedOne;
    }
    // Pixels of content per step of the horizontal scroll bar (more than 1 only for lines
    // wider than a scroll bar's int range).
    int horizontalScrollUnit() const { return hUnit_; }

    // The caret-sized rectangle of an offset and the offset under a point, in viewport
    // coordinates.
    QRect offsetRect(qsizetype offset) const;
    qsizetype offsetAt(QPoint viewportPos) const;
    void ensureOffsetVisible(qsizetype offset);

    // The context menu: Copy, Select All, Find... and Save Report As..., then the actions
    // added with addMenuAction; the caller owns it.
    QMenu* createContextMenu();
    // An action of the window that the context menu offers too.
    void addMenuAction(QAction* action) { menuActions_.push_back(action); }

  signals:
    void selectionChanged();
    // The report was replaced, appended to or emptied.
    void contentChanged();
    // Ctrl+F or "Find..." asked for a text to find; the window asks the user for it.
    void findRequested();
    // "Save Report As..." asked for a file name; the window asks the user for it.
    void saveRequested();

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
    // The start of the text for an accessibility event, while a screen reader listens.
    QString announcedStart() const;
    void replaced(const QString& oldStart);
    std::int32_t measure(char16_t c) const;
    int lineHeight() const { return lineSpacing_; }
    int fullyVisibleRows() const;
    std::int64_t horizontalOffset() const;
    void updateScrollBars();
    void fontChanged();
    void moveCaret(qsizetype offset, bool keepAnchor);
    void select(qsizetype anchor, qsizetype caret, bool scroll);
    qsizetype normalized(qsizetype offset) const;
    void notifySelection();

    ReportText text_;
    QFont paintFont_;
    ReportLayout layout_;
    int ascent_ = 0;
    int lineSpacing_ = 1;

    qsizetype anchor_ = 0;
    qsizetype caret_ = 0;
    std::int64_t desiredX_ = -1;  // the caret's x kept over Up and Down, in 1/64 pixel
    int hUnit_ = 1;
    bool scrollBarsStale_ = false;
    std::vector<QAction*> menuActions_;
};

}  // namespace trailscan::report
