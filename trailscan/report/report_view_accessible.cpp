#include "trailscan/report/report_view_accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <climits>

#include "trailscan/report/report_view.h"

namespace trailscan::report {

namespace {

// A screen reader asks for the whole value at times; a report of hundreds of megabytes is
// given by its first part, and the rest by ranges through the text interface.
constexpr qsizetype kValueLimit = qsizetype{1} << 20;

int toInt(qsizetype value) { return static_cast<int>(std::min<qsizetype>(value, INT_MAX)); }

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
            return view()->textBetween(0, std::min(size(), kValueLimit));
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
        const qsizetype from = std::clamp<qsizetype>(startOffset, 0, size());
        const qsizetype to = std::clamp<qsizetype>(endOffset, from, size());
        return view()->textBetween(from, to);
    }
    int characterCount() const override { return toInt(size()); }

    // Lines and characters are answered from the view's line index; words and sentences by
    // Qt's generic boundary finder.
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                         int* endOffset) const override {
        *startOffset = *endOffset = -1;
        if (offset < 0 || offset > size()) {
            return {};
        }
        switch (type) {
            case QAccessible::LineBoundary:
            case QAccessible::ParagraphBoundary:
                return lineRange(view()->lineOf(offset), startOffset, endOffset);
            case QAccessible::CharBoundary:
                if (offset == size()) {
                    *startOffset = *endOffset = offset;
                    return {};
                }
                *startOffset = offset;
                *endOffset = offset + 1;
                return view()->textBetween(offset, offset + 1);
            case QAccessible::NoBoundary:
                *startOffset = 0;
                *endOffset = toInt(size());
                return view()->textBetween(0, size());
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
    qsizetype size() const { return view()->size(); }

    // A line with its CR LF, as screen readers expect a line to end with its break.
    QString lineRange(qsizetype line, int* startOffset, int* endOffset) const {
        const ReportView* v = view();
        const qsizetype from = v->lineStart(line);
        const qsizetype to = line + 1 < v->lineCount() ? v->lineStart(line + 1) : size();
        *startOffset = toInt(from);
        *endOffset = toInt(to);
        return v->textBetween(from, to);
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

}  // namespace

void installReportViewAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&accessibleForReportView);
        return true;
    }();
    Q_UNUSED(installed);
}

}  // namespace trailscan::report
