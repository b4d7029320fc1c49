#include "kestrand/report_window/table_models.h"

#include <QColor>
#include <algorithm>
#include <numeric>

#include "kestrand/report_window/heat_scale.h"

namespace kestrand::report_window {

ReportTableModel::ReportTableModel(std::shared_ptr<const Report> owner, const ReportTable& table,
                                   QObject* parent)
    : QAbstractTableModel(parent), owner_(std::move(owner)), table_(table) {
    order_.resize(table_.rows.size());
    std::iota(order_.begin(), order_.end(), 0);
}

int ReportTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

int ReportTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.columns.size());
}

const ReportCell& ReportTableModel::cellAt(int row, int column) const {
    return table_.rows[static_cast<std::size_t>(order_[static_cast<std::size_t>(row)])]
                      [static_cast<std::size_t>(column)];
}

QVariant ReportTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
        return {};
    }
    const ReportColumn& column = table_.columns[static_cast<std::size_t>(index.column())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return cellText(column, cellAt(index.row(), index.column()));
        case Qt::UserRole:
            if (column.kind == CellKind::Text) {
                return cellAt(index.row(), index.column()).text;
            }
            return static_cast<qlonglong>(cellAt(index.row(), index.column()).number);
        case Qt::TextAlignmentRole:
            // Numbers line up by their last digit, which stands at the left in this window.
            if (column.kind != CellKind::Text) {
                return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
            }
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant ReportTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        return section < columnCount() ? table_.columns[static_cast<std::size_t>(section)].title
                                       : QVariant();
    }
    return section + 1;
}

void ReportTableModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= columnCount()) {
        return;
    }
    const auto c = static_cast<std::size_t>(column);
    const bool numeric = table_.columns[c].kind != CellKind::Text;
    const auto& rows = table_.rows;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    const std::vector<int> oldOrder = order_;
    // Ties keep the engine's order, so sorting back restores it.
    std::iota(order_.begin(), order_.end(), 0);
    const auto less = [&](int a, int b) {
        const ReportCell& x = rows[static_cast<std::size_t>(a)][c];
        const ReportCell& y = rows[static_cast<std::size_t>(b)][c];
        if (numeric) {
            return x.number < y.number;
        }
        return QString::localeAwareCompare(x.text, y.text) < 0;
    };
    if (order == Qt::AscendingOrder) {
        std::stable_sort(order_.begin(), order_.end(), less);
    } else {
        std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) { return less(b, a); });
    }
    if (!before.isEmpty()) {
        // Rows selected before the sort stay selected: persistent indexes follow their rows.
        std::vector<int> newRowOf(order_.size());
        for (std::size_t i = 0; i < order_.size(); ++i) {
            newRowOf[static_cast<std::size_t>(order_[i])] = static_cast<int>(i);
        }
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex& index : before) {
            const int tableRow = oldOrder[static_cast<std::size_t>(index.row())];
            after << this->index(newRowOf[static_cast<std::size_t>(tableRow)], index.column());
        }
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CellDirectionDelegate::initStyleOption(QStyleOptionViewItem* option,
                                            const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    option->direction = option->text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
}

HeatMapModel::HeatMapModel(const ReportChart& chart, QObject* parent)
    : QAbstractTableModel(parent), chart_(chart) {
    for (const auto& row : chart_.grid) {
        for (const std::int64_t value : row) {
            most_ = std::max(most_, value);
        }
    }
}

int HeatMapModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(chart_.grid.size());
}

int HeatMapModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(chart_.labels.size());
}

QVariant HeatMapModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
        return {};
    }
    const auto& row = chart_.grid[static_cast<std::size_t>(index.row())];
    const std::int64_t value = static_cast<std::size_t>(index.column()) < row.size()
                                   ? row[static_cast<std::size_t>(index.column())]
                                   : 0;
    const HeatColour colour = heatColour(value, most_);
    switch (role) {
        case Qt::BackgroundRole:
            return QColor(colour.red, colour.green, colour.blue);
        case Qt::ForegroundRole:
            return colour.dark ? QColor(Qt::white) : QColor(Qt::black);
        case Qt::DisplayRole:
            return value > 0 ? groupedNumber(value) : QString();
        case Qt::ToolTipRole:
            return QStringLiteral("%1، ساعت %2: %3")
                .arg(chart_.rowLabels.value(index.row()), chart_.labels.value(index.column()),
                     groupedNumber(value));
        case Qt::UserRole:
            return static_cast<qlonglong>(value);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignCenter);
        default:
            return {};
    }
}

QVariant HeatMapModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    return orientation == Qt::Horizontal ? chart_.labels.value(section)
                                         : chart_.rowLabels.value(section);
}

}  // namespace kestrand::report_window
