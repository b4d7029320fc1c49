#pragma once

// The models behind the report window's tables: a report table, sortable by any column
// (numbers by value), and the weekday-by-hour heat map.

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <memory>
#include <vector>

#include "kestrand/report_window/sections.h"

namespace kestrand::report_window {

class ReportTableModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    // The table lives in `owner`, which the model keeps alive.
    ReportTableModel(std::shared_ptr<const Report> owner, const ReportTable& table,
                     QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    const ReportTable& table() const { return table_; }
    // The cell shown at a row, as the rows stand sorted now.
    const ReportCell& cellAt(int row, int column) const;

  private:
    std::shared_ptr<const Report> owner_;
    const ReportTable& table_;
    std::vector<int> order_;  // shown row -> table row
};

// Draws each cell in its own text's direction: dates, sizes and lists of numbers keep their
// order in a right-to-left table, Persian cells read from the right.
class CellDirectionDelegate final : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

class HeatMapModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit HeatMapModel(const ReportChart& chart, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    ReportChart chart_;
    std::int64_t most_ = 0;
};

}  // namespace kestrand::report_window
