#include "kestrand/report_window/report_window.h"

#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "forms/fonts.h"
#include "kestrand/report_window/charts.h"
#include "kestrand/report_window/table_models.h"
#include "kestrand/report_window/web_page.h"

namespace kestrand::report_window {

namespace {

constexpr int kWidth = 1000;
constexpr int kHeight = 740;
// Column widths are measured on this many rows, so a long table opens at once.
constexpr int kMeasuredRows = 200;
// Tables of at most this many columns share a row.
constexpr std::size_t kNarrowColumns = 3;
const QString kDayFormat = QStringLiteral("yyyy-MM-dd");

QLabel* plainLabel(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    // Texts from a log are never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// Latin letters and digits in a face made for them, Persian in the dialog's face.
QFont tableFont() {
    QFont font = forms::designFont(QStringLiteral("Arial"), 9);
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("ZARVENA")});
    return font;
}

QDate dayOf(const QString& stamp) { return QDate::fromString(stamp.left(10), kDayFormat); }

reports::Day engineDay(const QDate& date) {
    return date.year() * 10000 + date.month() * 100 + date.day();
}

}  // namespace

ReportWindow::ReportWindow(forms::Platform& platform, ReportRequest request, ReportOutcome outcome,
                           QWidget* parent)
    : QWidget(parent, Qt::Window),
      platform_(platform),
      request_(std::move(request)),
      outcome_(std::move(outcome)) {
    setObjectName(QStringLiteral("reportWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setLayoutDirection(Qt::RightToLeft);
    setFont(forms::designFont(QStringLiteral("ZARVENA"), 9));
    setWindowIcon(QIcon(QStringLiteral(":/kestrand/kestrand.ico")));
    setWindowTitle(request_.onlyAddress.isEmpty()
                       ? reportTitle()
                       : QStringLiteral("%1: %2").arg(reportTitle(), request_.onlyAddress));
    resize(kWidth, kHeight);
    buildControls();
    showOutcome();
    const QDate first = dayOf(outcome_.report->first);
    const QDate last = dayOf(outcome_.report->last);
    if (first.isValid() && last.isValid()) {
        from_->setDate(first);
        to_->setDate(last);
    }
}

ReportWindow* ReportWindow::open(QWidget* parent, forms::Platform& platform,
                                 const ReportRequest& request) {
    ReportOutcome outcome = makeReports(parent, platform.progress, request);
    if (outcome.cancelled) {
        return nullptr;
    }
    if (!outcome.message.isEmpty()) {
        platform.messenger.warn(parent, reportMessageTitle(), outcome.message);
        return nullptr;
    }
    auto* window = new ReportWindow(platform, request, std::move(outcome));
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void ReportWindow::buildControls() {
    auto* layout = new QVBoxLayout(this);

    auto* header = new QGroupBox(this);
    header->setObjectName(QStringLiteral("header"));
    auto* headerLayout = new QGridLayout(header);
    headerLayout->setContentsMargins(8, 6, 8, 6);
    headerLayout->setVerticalSpacing(2);
    folderLabel_ = plainLabel(QStringLiteral("folderLabel"), header);
    periodLabel_ = plainLabel(QStringLiteral("periodLabel"), header);
    totalsLabel_ = plainLabel(QStringLiteral("totalsLabel"), header);
    filesLabel_ = plainLabel(QStringLiteral("filesLabel"), header);
    zoneLabel_ = plainLabel(QStringLiteral("zoneLabel"), header);
    deniedLabel_ = plainLabel(QStringLiteral("deniedLabel"), header);
    QFont bold = font();
    bold.setBold(true);
    folderLabel_->setFont(bold);
    headerLayout->addWidget(folderLabel_, 0, 0);
    headerLayout->addWidget(periodLabel_, 0, 1);
    headerLayout->addWidget(totalsLabel_, 1, 0);
    headerLayout->addWidget(filesLabel_, 1, 1);
    headerLayout->addWidget(zoneLabel_, 2, 0);
    headerLayout->addWidget(deniedLabel_, 2, 1);
    filesView_ = new QTableView(header);
    filesView_->setObjectName(QStringLiteral("table-files"));
    filesView_->setAccessibleName(QStringLiteral("فایل‌ها"));
    filesView_->setFont(tableFont());
    filesView_->setMaximumHeight(84);
    filesView_->setItemDelegate(new CellDirectionDelegate(filesView_));
    headerLayout->addWidget(filesView_, 3, 0, 1, 2);
    layout->addWidget(header);

    auto* range = new QHBoxLayout;
    auto* fromLabel = new QLabel(QStringLiteral("از روز"), this);
    from_ = new QDateEdit(this);
    from_->setObjectName(QStringLiteral("fromDate"));
    auto* toLabel = new QLabel(QStringLiteral("تا روز"), this);
    to_ = new QDateEdit(this);
    to_->setObjectName(QStringLiteral("toDate"));
    for (QDateEdit* edit : {from_, to_}) {
        // Before the format: a right-to-left date edit reverses the format's sections.
        edit->setLayoutDirection(Qt::LeftToRight);
        edit->setDisplayFormat(kDayFormat);
        edit->setCalendarPopup(true);
        edit->setFont(tableFont());
    }
    fromLabel->setBuddy(from_);
    toLabel->setBuddy(to_);
    rerunButton_ = new QPushButton(QStringLiteral("گزارش این روزها"), this);
    rerunButton_->setObjectName(QStringLiteral("rerunButton"));
    saveButton_ = new QPushButton(QStringLiteral("ذخیره‌ی صفحه‌ی وب"), this);
    saveButton_->setObjectName(QStringLiteral("saveButton"));
    saveButton_->setToolTip(QKeySequence(QKeySequence::Save).toString(QKeySequence::NativeText));
    saveAsButton_ = new QPushButton(QStringLiteral("ذخیره به شکل…"), this);
    saveAsButton_->setObjectName(QStringLiteral("saveAsButton"));
    range->addWidget(fromLabel);
    range->addWidget(from_);
    range->addWidget(toLabel);
    range->addWidget(to_);
    range->addWidget(rerunButton_);
    range->addStretch(1);
    range->addWidget(saveButton_);
    range->addWidget(saveAsButton_);
    layout->addLayout(range);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("reportTabs"));
    layout->addWidget(tabs_, 1);

    connect(rerunButton_, &QPushButton::clicked, this, &ReportWindow::rerun);
    connect(saveButton_, &QPushButton::clicked, this, &ReportWindow::save);
    connect(saveAsButton_, &QPushButton::clicked, this, &ReportWindow::saveAs);
    auto* saveKey = new QShortcut(QKeySequence::Save, this);
    connect(saveKey, &QShortcut::activated, this, &ReportWindow::save);
    connect(tabs_, &QTabWidget::currentChanged, this, &ReportWindow::buildTab);
}

void ReportWindow::showOutcome() {
    const Report& report = *outcome_.report;
    // A path and an address read left to right inside the right-to-left line (U+2066..U+2069).
    const auto leftToRight = [](const QString& text) {
        return QChar(0x2066) + text + QChar(0x2069);
    };
    QString folder =
        QStringLiteral("پوشه: %1")
            .arg(leftToRight(report.folder.isEmpty()
                                 ? QDir::toNativeSeparators(reportFolder(request_.folder))
                                 : report.folder));
    if (!request_.onlyAddress.isEmpty()) {
        folder += QStringLiteral(" — آدرس: %1").arg(leftToRight(request_.onlyAddress));
    }
    folderLabel_->setText(folder);
    periodLabel_->setText(periodText(report));
    totalsLabel_->setText(totalsText(report));
    filesLabel_->setText(filesSummary(report));
    zoneLabel_->setText(timeZoneText(report));
    deniedLabel_->setText(deniedAndCacheText(report));
    QAbstractItemModel* oldFiles = filesView_->model();
    filesView_->setModel(new ReportTableModel(outcome_.report, report.files, filesView_));
    delete oldFiles;
    filesView_->horizontalHeader()->setResizeContentsPrecision(kMeasuredRows);
    filesView_->resizeColumnsToContents();
    filesView_->verticalHeader()->hide();

    const QSignalBlocker quiet(tabs_);
    while (tabs_->count() > 0) {
        QWidget* page = tabs_->widget(0);
        tabs_->removeTab(0);
        delete page;
    }
    built_.assign(report.sections.size(), false);
    for (const ReportSection& section : report.sections) {
        auto* placeholder = new QWidget;
        placeholder->setObjectName(QStringLiteral("kind-%1").arg(section.kind));
        new QVBoxLayout(placeholder);
        tabs_->addTab(placeholder, section.title);
    }
    if (tabs_->count() > 0) {
        tabs_->setCurrentIndex(0);
        buildTab(0);
    }
}

QWidget* ReportWindow::tabOfKind(int kind) {
    const auto& sections = outcome_.report->sections;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (sections[i].kind == kind) {
            buildTab(static_cast<int>(i));
            return tabs_->widget(static_cast<int>(i));
        }
    }
    return nullptr;
}

void ReportWindow::buildTab(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= built_.size() ||
        built_[static_cast<std::size_t>(index)]) {
        return;
    }
    built_[static_cast<std::size_t>(index)] = true;
    QWidget* page = tabs_->widget(index);
    page->layout()->addWidget(
        sectionPage(outcome_.report->sections[static_cast<std::size_t>(index)]));
}

QWidget* ReportWindow::sectionPage(const ReportSection& section) {
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->setChildrenCollapsible(false);
    if (!section.notes.isEmpty() || !section.charts.empty()) {
        auto* top = new QWidget(splitter);
        auto* topLayout = new QVBoxLayout(top);
        topLayout->setContentsMargins(0, 0, 0, 0);
        for (const QString& note : section.notes) {
            QLabel* label = plainLabel(QStringLiteral("note"), top);
            label->setText(note);
            QFont bold = label->font();
            bold.setBold(true);
            label->setFont(bold);
            topLayout->addWidget(label);
        }
        if (!section.charts.empty()) {
            auto* charts = new QHBoxLayout;
            for (const ReportChart& chart : section.charts) {
                charts->addWidget(chartWidget(chart, top), 1);
            }
            topLayout->addLayout(charts, 1);
        } else {
            topLayout->addStretch(1);
        }
        splitter->addWidget(top);
    }
    // Narrow tables (a name and a count or two) stand side by side, wider ones one to a row.
    QSplitter* row = nullptr;
    for (const ReportTable& table : section.tables) {
        const bool narrow = table.columns.size() <= kNarrowColumns;
        if (!narrow) {
            row = nullptr;
        } else if (row == nullptr) {
            row = new QSplitter(Qt::Horizontal, splitter);
            row->setChildrenCollapsible(false);
            splitter->addWidget(row);
        }
        QWidget* holder = narrow ? static_cast<QWidget*>(row) : splitter;
        auto* box = new QGroupBox(table.title, holder);
        auto* boxLayout = new QVBoxLayout(box);
        boxLayout->setContentsMargins(4, 4, 4, 4);
        boxLayout->addWidget(tableView(table, box));
        if (narrow) {
            row->addWidget(box);
        } else {
            splitter->addWidget(box);
        }
    }
    // Charts and tables share the height; a section of tables alone shares it evenly.
    QList<int> sizes;
    const bool charts = !section.charts.empty();
    for (int i = 0; i < splitter->count(); ++i) {
        // Notes alone need a line or two.
        const bool notesOnly = i == 0 && !charts && !section.notes.isEmpty();
        sizes << (notesOnly ? 40 : (charts && i == 0 ? 3 * 100 : 2 * 100));
    }
    splitter->setSizes(sizes);
    return splitter;
}

QTableView* ReportWindow::tableView(const ReportTable& table, QWidget* parent) {
    auto* view = new QTableView(parent);
    view->setObjectName(QStringLiteral("table-") + table.name);
    view->setAccessibleName(table.title);
    view->setFont(tableFont());
    view->setItemDelegate(new CellDirectionDelegate(view));
    auto* model = new ReportTableModel(outcome_.report, table, view);
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setAlternatingRowColors(true);
    view->setWordWrap(false);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setResizeContentsPrecision(kMeasuredRows);
    view->horizontalHeader()->setStretchLastSection(true);
    view->horizontalHeader()->setSortIndicator(-1, Qt::DescendingOrder);
    view->setSortingEnabled(true);
    view->resizeColumnsToContents();
    if (table.name == QLatin1String("addresses")) {
        view->setToolTip(QStringLiteral("برای گزارش یک آدرس روی آن دو بار کلیک کنید"));
        connect(view, &QTableView::doubleClicked, this, [this, model](const QModelIndex& index) {
            showDetail(model->cellAt(index.row(), 0).text);
        });
    }
    return view;
}

void ReportWindow::rerun() {
    if (from_->date() > to_->date()) {
        platform_.messenger.warn(this, reportMessageTitle(),
                                 QStringLiteral("روز آغاز پس از روز پایان است."));
        return;
    }
    ReportRequest request = request_;
    request.from = engineDay(from_->date());
    request.to = engineDay(to_->date());
    ReportOutcome outcome = makeReports(this, platform_.progress, request);
    if (outcome.cancelled) {
        return;
    }
    if (!outcome.message.isEmpty()) {
        platform_.messenger.warn(this, reportMessageTitle(), outcome.message);
        return;
    }
    const int current = tabs_->currentIndex();
    request_ = std::move(request);
    outcome_ = std::move(outcome);
    showOutcome();
    if (current > 0 && current < tabs_->count()) {
        tabs_->setCurrentIndex(current);
    }
}

void ReportWindow::showDetail(const QString& address) {
    ReportRequest request = request_;
    request.onlyAddress = address;
    request.kinds = {};
    for (const int kind : {3, 4, 6}) {
        request.kinds[static_cast<std::size_t>(kind)] = true;
    }
    if (ReportWindow* detail = open(this, platform_, request)) {
        details_.emplace_back(detail);
    }
}

std::vector<ReportWindow*> ReportWindow::detailWindows() const {
    std::vector<ReportWindow*> open;
    for (const QPointer<ReportWindow>& detail : details_) {
        if (!detail.isNull()) {
            open.push_back(detail.data());
        }
    }
    return open;
}

void ReportWindow::save() {
    forms::FileRequest request;
    request.title = QStringLiteral("ذخیره‌ی صفحه‌ی وب");
    request.initialFolder = QDir::homePath();
    request.filters = {QStringLiteral("صفحه‌ی وب (*.html *.htm)")};
    request.suggestedName = QStringLiteral("report.html");
    if (const std::optional<QString> path = platform_.chooser.chooseSave(this, request)) {
        writeReport(*path);
    }
}

void ReportWindow::saveAs() {
    forms::FileRequest request;
    request.title = QStringLiteral("ذخیره‌ی گزارش");
    request.initialFolder = QDir::homePath();
    request.filters = {QStringLiteral("صفحه‌ی وب (*.html *.htm)"),
                       QStringLiteral("CSV (*.csv)"), QStringLiteral("JSON (*.json)")};
    request.suggestedName = QStringLiteral("report.html");
    if (const std::optional<QString> path = platform_.chooser.chooseSave(this, request)) {
        writeReport(*path);
    }
}

void ReportWindow::writeReport(const QString& path) {
    // The format follows the name's ending; any other ending gets the web page.
    const QString suffix = QFileInfo(path).suffix().toLower();
    QString failure;
    if (suffix == QLatin1String("csv") || suffix == QLatin1String("json")) {
        const std::string text = suffix == QLatin1String("csv")
                                     ? reports::writeCsv(*outcome_.result)
                                     : reports::writeJson(*outcome_.result);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(text.data(), static_cast<qint64>(text.size())) !=
                static_cast<qint64>(text.size()) ||
            !file.commit()) {
            failure = file.errorString();
        }
    } else {
        std::string error;
        if (!writeHtmlReport(*outcome_.report, std::filesystem::path(path.toStdU16String()),
                             error)) {
            failure = QString::fromStdString(error);
        }
    }
    if (!failure.isEmpty()) {
        platform_.messenger.warn(this, reportMessageTitle(),
                                 QStringLiteral("گزارش در «%1» ذخیره نشد.\n%2")
                                     .arg(QDir::toNativeSeparators(path), failure));
    }
}

}  // namespace kestrand::report_window
