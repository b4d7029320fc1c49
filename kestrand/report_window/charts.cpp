#include "kestrand/report_window/charts.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QPieSeries>
#include <QPieSlice>
#include <QTableView>
#include <QValueAxis>
#include <algorithm>

#include "kestrand/report_window/sections.h"
#include "kestrand/report_window/table_models.h"

namespace kestrand::report_window {

namespace {

const QColor kBarColour(0x3b, 0x78, 0xb0);
const QColor kShareColours[] = {QColor(0x2e, 0x7d, 0x32), QColor(0xc6, 0x28, 0x28),
                                QColor(0x15, 0x65, 0xc0), QColor(0x9e, 0x9e, 0x9e)};

// Qt Charts lays out axis and legend labels as rich text, so a text from a log is escaped.
QString plainLabel(const QString& text) { return text.toHtmlEscaped(); }

QChartView* viewOf(QChart* chart, const ReportChart& data, QWidget* parent) {
    chart->setTitle(plainLabel(data.title));
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto* view = new QChartView(chart, parent);
    view->setObjectName(QStringLiteral("chart-") + data.name);
    view->setAccessibleName(data.title);
    view->setRenderHint(QPainter::Antialiasing);
    // The axes read from left to right whatever the window's direction.
    view->setLayoutDirection(Qt::LeftToRight);
    view->setMinimumHeight(240);
    return view;
}

QValueAxis* countAxis(const ReportChart& data) {
    auto* axis = new QValueAxis;
    const std::int64_t most =
        data.values.empty() ? 0 : *std::max_element(data.values.begin(), data.values.end());
    if (most < 5) {
        // Whole numbers only: one tick per count.
        axis->setRange(0, std::max<double>(1.0, static_cast<double>(most)));
        axis->setTickCount(static_cast<int>(std::max<std::int64_t>(most, 1)) + 1);
    } else {
        axis->setRange(0, static_cast<double>(most));
        axis->applyNiceNumbers();
    }
    axis->setLabelFormat(QStringLiteral("%.0f"));
    return axis;
}

QWidget* barsChart(const ReportChart& data, QWidget* parent) {
    auto* set = new QBarSet(QString());
    set->setColor(kBarColour);
    QStringList categories;
    // The first row stands at the top: categories go upward from the axis' origin.
    for (std::size_t i = data.values.size(); i-- > 0;) {
        *set << static_cast<double>(data.values[i]);
        categories << plainLabel(data.labels.value(static_cast<int>(i)));
    }
    auto* series = new QHorizontalBarSeries;
    series->append(set);
    series->setBarWidth(0.7);
    auto* chart = new QChart;
    chart->addSeries(series);
    auto* names = new QBarCategoryAxis;
    names->append(categories);
    chart->addAxis(names, Qt::AlignLeft);
    series->attachAxis(names);
    QValueAxis* counts = countAxis(data);
    chart->addAxis(counts, Qt::AlignBottom);
    series->attachAxis(counts);
    chart->legend()->hide();
    return viewOf(chart, data, parent);
}

QWidget* hourBarsChart(const ReportChart& data, QWidget* parent) {
    auto* set = new QBarSet(QString());
    set->setColor(kBarColour);
    for (const std::int64_t value : data.values) {
        *set << static_cast<double>(value);
    }
    auto* series = new QBarSeries;
    series->append(set);
    series->setBarWidth(0.8);
    auto* chart = new QChart;
    chart->addSeries(series);
    // The bars stand on a category axis, which Qt Charts elides when 24 labels do not fit; the
    // hours are read from a value axis over the same span, labelled every three hours.
    auto* categories = new QBarCategoryAxis;
    categories->append(data.labels);
    chart->addAxis(categories, Qt::AlignBottom);
    series->attachAxis(categories);
    categories->setVisible(false);
    auto* hours = new QValueAxis;
    hours->setRange(-0.5, static_cast<double>(data.labels.size()) - 0.5);
    hours->setTickType(QValueAxis::TicksDynamic);
    hours->setTickAnchor(0);
    hours->setTickInterval(3);
    hours->setLabelFormat(QStringLiteral("%.0f"));
    hours->setGridLineVisible(false);
    chart->addAxis(hours, Qt::AlignBottom);
    QValueAxis* counts = countAxis(data);
    chart->addAxis(counts, Qt::AlignLeft);
    series->attachAxis(counts);
    chart->legend()->hide();
    return viewOf(chart, data, parent);
}

QWidget* sharesChart(const ReportChart& data, QWidget* parent) {
    std::int64_t total = 0;
    for (const std::int64_t value : data.values) {
        total += std::max<std::int64_t>(value, 0);
    }
    auto* series = new QPieSeries;
    for (std::size_t i = 0; i < data.values.size(); ++i) {
        const double share = total > 0
                                 ? static_cast<double>(std::max<std::int64_t>(data.values[i], 0)) /
                                       static_cast<double>(total)
                                 : 0.0;
        auto* slice = series->append(
            QStringLiteral("%1 %2%").arg(plainLabel(data.labels.value(static_cast<int>(i))),
                                         QString::number(share * 100.0, 'f', 1)),
            std::max<double>(0.0, static_cast<double>(data.values[i])));
        slice->setColor(kShareColours[i % std::size(kShareColours)]);
        slice->setLabelVisible(share > 0.0);
    }
    series->setPieSize(0.6);
    auto* chart = new QChart;
    chart->addSeries(series);
    chart->legend()->setAlignment(Qt::AlignRight);
    return viewOf(chart, data, parent);
}

QWidget* heatMap(const ReportChart& data, QWidget* parent) {
    auto* view = new QTableView(parent);
    view->setObjectName(QStringLiteral("chart-") + data.name);
    view->setModel(new HeatMapModel(data, view));
    view->setLayoutDirection(Qt::LeftToRight);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::NoSelection);
    QFont small = view->font();
    small.setPointSizeF(7);
    view->setFont(small);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    view->horizontalHeader()->setMinimumSectionSize(16);
    view->horizontalHeader()->setFont(small);
    view->verticalHeader()->setFont(small);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    view->setMinimumHeight(7 * 24 + 30);
    view->setToolTip(data.title);
    view->setAccessibleName(data.title);
    return view;
}

}  // namespace

QWidget* chartWidget(const ReportChart& chart, QWidget* parent) {
    switch (chart.kind) {
        case ReportChart::Kind::HourBars:
            return hourBarsChart(chart, parent);
        case ReportChart::Kind::HeatMap:
            return heatMap(chart, parent);
        case ReportChart::Kind::Shares:
            return sharesChart(chart, parent);
        case ReportChart::Kind::Bars:
            break;
    }
    return barsChart(chart, parent);
}

}  // namespace kestrand::report_window
