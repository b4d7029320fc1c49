#pragma once

// The report window's charts, drawn with Qt Charts; the weekday-by-hour heat map is a table
// whose cells are coloured by their count.

class QWidget;

namespace kestrand::report_window {

struct ReportChart;

QWidget* chartWidget(const ReportChart& chart, QWidget* parent);

}  // namespace kestrand::report_window
