#include "trailscan/search/search_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include "common/code_pages.h"
#include "forms/fonts.h"
#include "forms/twips.h"
#include "trailscan/app/log_file_request.h"
#include "trailscan/folder/folder_search.h"
#include "trailscan/folder/log_folder.h"
#include "trailscan/log/file_choice.h"
#include "trailscan/log/file_panel.h"
#include "trailscan/log/line_count.h"
#include "trailscan/report/report_view.h"
#include "trailscan/table/searches.h"

// The window's pictures live in this static library; register them before first use.
static void initSearchResources() { Q_INIT_RESOURCE(trailscan); }

namespace trailscan::search {

using app::acceptLogDrag;
using app::droppedLog;
using app::logPath;
using report::ReportView;
using scan::kBadWholeLogRecordNumber;
using scan::ScanControl;
using scan::ScanEnd;
using scan::ScanOutcome;
using scan::WholeLogQuery;
using table::kRecordCapacity;
using table::kReportCapacity;
using table::kSelectUserName;
using table::kTableBudget;
using table::LoadOutcome;
using table::Selector;
using table::SelectorKind;

namespace {

const QColor kBlue(0, 0, 255);
// The classic colour of an active window's border, behind the panel's text boxes.
const QColor kActiveBorder(212, 208, 200);

struct FieldButton {
    const char* caption;
    int top;
    Selector selector;
    const char* label;
};
// Indexed as the button array; tab order follows the tops (User Name, Date, Time, ...).
constexpr std::array<FieldButton, 7> kFieldButtons = {{
    {"User Name", 1425, Selector::forColumn(log::kColumnUser), "User Name:"},
    {"Record No.", 3360, Selector::recordNumber(), "Rec No.:"},
    {"Site", 2880, Selector::forColumn(log::kColumnSite), "Site:"},
    {"Date", 1920, Selector::forColumn(log::kColumnDate), "Date:"},
    {"Time", 2400, Selector::forColumn(log::kColumnTime), "Time:"},
    {"I P", 3855, Selector::forColumn(log::kColumnIp), "IP:"},
    {"All Fields", 4350, Selector::allFields(), "All Rec:"},
}};
constexpr std::array<int, 7> kFieldButtonTabOrder = {0, 3, 4, 2, 1, 5, 6};

QString fromLog(std::string_view bytes) {
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    common::decodeWindows1252(bytes, reinterpret_cast<char16_t*>(text.data()));
    return text;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text,
                  const forms::DesignRect& rect) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    forms::place(label, rect);
    return label;
}

QLineEdit* makePanelBox(QWidget* parent, const char* name, const QString& text,
                        const forms::DesignRect& rect, const QString& accessibleName) {
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::ClickFocus);  // skipped by the Tab key
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, kActiveBorder);
    box->setPalette(palette);
    box->setAccessibleName(accessibleName);
    forms::place(box, rect);
    return box;
}

// The room reserved for each buffer that carries a whole-log search's results to the report
// box.
constexpr std::size_t kBatchRoom = std::size_t{4} << 20;

const QString kTitle = QStringLiteral("Proxy Kestrand");

// Text as the report box holds it: the log's code page, '?' for a character it lacks.
std::string reportBytesOf(const QString& text) {
    std::string bytes;
    for (const QChar c : text) {
        const auto one = common::encodeWindows1252(std::u16string(1, c.unicode()));
        bytes += one ? *one : std::string("?");
    }
    return bytes;
}

// The names of the two panel labels whose text the open flow sets.
constexpr QLatin1String kLogKindName("Log kind");
constexpr QLatin1String kLogDateName("Log date");

// A named label is read by its name alone, so the name carries what the label shows.
void setNamedLabelText(QLabel* label, QLatin1String name, const QString& text) {
    label->setText(text);
    label->setAccessibleName(text.isEmpty() ? QString(name)
                                            : QString(name) + QStringLiteral(": ") + text);
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

// Local date and time with seconds, in the locale's short format.
QString lastModifiedText(const QString& fileName) {
    const QFileInfo info(fileName);
    const QDateTime modified = info.lastModified();
    if (!modified.isValid()) {
        return QString();
    }
    const QLocale locale;
    QString time = locale.timeFormat(QLocale::ShortFormat);
    if (!time.contains(QLatin1String("ss"))) {
        time.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
    }
    return locale.toString(modified,
                           locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + time);
}

}  // namespace

SearchWindow::SearchWindow(forms::Platform& platform, QWidget* parent)
    : QDialog(parent), platform_(platform), opening_(platform, this) {
    initSearchResources();
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(kTitle);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    QIcon icon;
    for (const char* size : {"16", "32", "48", "256"}) {
        icon.addFile(QStringLiteral(":/trailscan/icon-%1.png").arg(QLatin1String(size)));
    }
    setWindowIcon(icon);
    setFont(forms::designFont(QStringLiteral("MS Sans Serif"), 8.25));
    forms::setClientSize(this, 6795, 5010, true);
    buildControls();

    auto* browserShortcut = new QShortcut(QKeySequence(QStringLiteral("Ctrl+B")), this);
    connect(browserShortcut, &QShortcut::activated, this, [this] {
        if (browserOpener_) browserOpener_();
    });
    buildReportCommands();

    // Ctrl+O presses the open button; F5 runs the open flow again on the file shown.
    auto* openKey = new QShortcut(QKeySequence::Open, this);
    connect(openKey, &QShortcut::activated, Command2, &QPushButton::click);
    auto* reloadKey = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(reloadKey, &QShortcut::activated, this, [this] {
        if (!fileName_.isEmpty()) openFlow(fileName_);
    });
    Command2->setToolTip(QStringLiteral("Open a log file (Ctrl+O); F5 opens the file shown again"));

    // Ctrl+Enter (either Enter key) runs the selected search over the whole log; so does the
    // context menu of "Go !" and of the report box.
    wholeLogAction_ = new QAction(QStringLiteral("Search the whole log"), this);
    wholeLogAction_->setObjectName(QStringLiteral("wholeLogAction"));
    wholeLogAction_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    wholeLogAction_->setShortcutContext(Qt::WindowShortcut);
    connect(wholeLogAction_, &QAction::triggered, this, &SearchWindow::searchWholeLog);
    addAction(wholeLogAction_);
    Command3->addAction(wholeLogAction_);
    Command3->setContextMenuPolicy(Qt::ActionsContextMenu);
    Text3->addMenuAction(wholeLogAction_);

    // Ctrl+Shift+Enter: the same over every log of the open log's folder.
    folderAction_ = new QAction(QStringLiteral("Search every log in this folder"), this);
    folderAction_->setObjectName(QStringLiteral("folderSearchAction"));
    folderAction_->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Return),
                                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Enter)});
    folderAction_->setShortcutContext(Qt::WindowShortcut);
    connect(folderAction_, &QAction::triggered, this, &SearchWindow::searchFolder);
    addAction(folderAction_);
    Command3->addAction(folderAction_);
    Text3->addMenuAction(folderAction_);

    // Ctrl+R: the whole-log and folder searches take the text as a regular expression.
    regexAction_ = new QAction(QStringLiteral("Regular expression"), this);
    regexAction_->setObjectName(QStringLiteral("regexAction"));
    regexAction_->setCheckable(true);
    regexAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    regexAction_->setShortcutContext(Qt::WindowShortcut);
    connect(regexAction_, &QAction::toggled, this, &SearchWindow::setRegularExpression);
    addAction(regexAction_);
    Command3->addAction(regexAction_);
    Text3->addMenuAction(regexAction_);
    setRegularExpression(false);
    Command3->setToolTip(QStringLiteral(
        "Searches the records in the table (Enter); Ctrl+Enter searches the whole log, "
        "Ctrl+Shift+Enter every log in its folder; Ctrl+R takes the text as a regular "
        "expression for those two"));
    setAcceptDrops(true);
}

// Saving and finding in the report: Ctrl+S anywhere in the window, Ctrl+F in the report box,
// F3 and Shift+F3 anywhere, and the report box's context menu.
void SearchWindow::buildReportCommands() {
    saveShortcut_ = new QShortcut(QKeySequence::Save, this);
    saveShortcut_->setEnabled(false);
    connect(saveShortcut_, &QShortcut::activated, this, &SearchWindow::saveReport);
    connect(Text3, &ReportView::saveRequested, this, &SearchWindow::saveReport);
    connect(Text3, &ReportView::contentChanged, this,
            [this] { saveShortcut_->setEnabled(!Text3->isEmpty()); });
    connect(Text3, &ReportView::findRequested, this, [this] { findInReport(false, true); });
    auto* next = new QShortcut(QKeySequence::FindNext, this);
    connect(next, &QShortcut::activated, this, [this] { findInReport(false, false); });
    auto* previous = new QShortcut(QKeySequence::FindPrevious, this);
    connect(previous, &QShortcut::activated, this, [this] { findInReport(true, false); });
}

void SearchWindow::findInReport(bool backward, bool ask) {
    if (Text3->isEmpty()) {
        return;
    }
    if (ask || findText_.isEmpty()) {
        const auto typed = platform_.messenger.askText(this, QStringLiteral("Find in the report"),
                                                       QStringLiteral("Find:"), findText_);
        if (!typed || typed->isEmpty()) {
            return;
        }
        findText_ = *typed;
    }
    Text3->find(findText_, backward);
}

void SearchWindow::saveReport() {
    if (Text3->isEmpty()) {
        return;
    }
    const QFileInfo log(fileName_);
    forms::FileRequest request;
    request.title = QStringLiteral("Save Report As");
    request.initialFolder = fileName_.isEmpty() ? QString() : log.absolutePath();
    request.filters = {QStringLiteral("Text files (*.txt)"), QStringLiteral("All Files (*)")};
    request.suggestedName =
        (fileName_.isEmpty() ? QStringLiteral("report")
                             : log.completeBaseName() + QStringLiteral("-report")) +
        QStringLiteral(".txt");
    const auto path = platform_.chooser.chooseSave(this, request);
    if (!path) {
        return;
    }
    if (const auto error = Text3->saveTo(*path)) {
        platform_.messenger.warn(
            this, kTitle,
            QStringLiteral("The report cannot be saved:\n%1\n\n%2").arg(*path, *error));
    }
}

SearchWindow::~SearchWindow() = default;

void SearchWindow::buildControls() {
    const QFont bold = forms::designFont(QStringLiteral("MS Sans Serif"), 8.25, true);

    Label1 = makeLabel(this, "Label1", QString(), {4215, 75, 2535, 420});
    setNamedLabelText(Label1, kLogKindName, QStringLiteral("Hello"));
    Label1->setFont(forms::designFont(QStringLiteral("Goudy Stout"), 15.75, true, true));
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setAutoFillBackground(true);
    {
        QPalette palette = Label1->palette();
        palette.setColor(QPalette::WindowText, Qt::white);
        palette.setColor(QPalette::Window, QColor(128, 128, 255));
        Label1->setPalette(palette);
    }

    Label2 = makeLabel(this, "Label2", QStringLiteral("File name:"), {1980, 225, 1095, 255});
    Label2->setFont(bold);
    setTextColour(Label2, kBlue);
    Text1 = makePanelBox(this, "Text1", QStringLiteral("No file selected"), {2940, 210, 1215, 285},
                         QStringLiteral("File name"));

    Label4 = makeLabel(this, "Label4", QStringLiteral("Last modified:"), {1650, 600, 1275, 195});
    Label4->setFont(bold);
    setTextColour(Label4, kBlue);
    Text2 = makePanelBox(this, "Text2", QString(), {2925, 585, 1215, 285},
                         QStringLiteral("Last modified"));

    Label3 = makeLabel(this, "Label3", QString(), {4920, 585, 1215, 255});
    Label3->setFont(bold);
    Label3->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setTextColour(Label3, kBlue);
    setNamedLabelText(Label3, kLogDateName, QString());

    Label5 = makeLabel(this, "Label5", QStringLiteral("User Name:"), {930, 1020, 1005, 285});
    Label5->setFont(bold);
    Label5->setAlignment(Qt::AlignRight | Qt::AlignTop);
    setTextColour(Label5, kBlue);

    Text4 = new QLineEdit(this);
    Text4->setObjectName(QStringLiteral("Text4"));
    Text4->setAccessibleName(QStringLiteral("Search text"));
    // The default query puts a whole stored field here; a line edit would cut it at 32767.
    Text4->setMaxLength(static_cast<int>(log::kMaxFieldLength));
    forms::place(Text4, {1995, 990, 1830, 285});
    Label5->setBuddy(Text4);

    Command3 = new QPushButton(QStringLiteral("Go !"), this);
    Command3->setObjectName(QStringLiteral("Command3"));
    Command3->setFont(forms::designFont(QStringLiteral("Arial"), 8.25, true));
    forms::place(Command3, {3870, 990, 525, 300});
    connect(Command3, &QPushButton::clicked, this, &SearchWindow::Command3_Click);

    Command2 = new QPushButton(QStringLiteral("Open a log file ..."), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setFont(bold);
    forms::place(Command2, {4575, 990, 2160, 300});
    Command2->setDefault(true);
    connect(Command2, &QPushButton::clicked, this, &SearchWindow::Command2_Click);

    const QFont buttonFont = forms::designFont(QStringLiteral("Times New Roman"), 8.25, true);
    for (int i = 0; i < 7; ++i) {
        const auto& row = kFieldButtons[static_cast<std::size_t>(i)];
        auto* button = new QPushButton(QString::fromLatin1(row.caption), this);
        button->setObjectName(QStringLiteral("Command1(%1)").arg(i));
        button->setFont(buttonFont);
        forms::place(button, {i == 4 ? 5385 : 5400, row.top, 1335, 360});
        connect(button, &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
        Command1[static_cast<std::size_t>(i)] = button;
    }

    Text3 = new ReportView(this);
    Text3->setObjectName(QStringLiteral("Text3"));
    Text3->setAccessibleName(QStringLiteral("Report"));
    // A multi-line box declared with both scroll bars shows them at all times.
    Text3->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text3->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    forms::place(Text3, {105, 1440, 5175, 3240});

    Label6 = makeLabel(this, "Label6", QStringLiteral("These results are sorted by records !"),
                       {270, 4740, 3990, 255});
    Label6->setFont(forms::designFont(QStringLiteral("Verdana"), 8.25, true));
    setTextColour(Label6, QColor(255, 0, 0));

    Label7 =
        makeLabel(this, "Label7", QStringLiteral("Nomber of records:"), {4845, 4740, 1395, 270});
    setTextColour(Label7, kBlue);
    // Read aloud, the caption's misspelling would be heard as a different word.
    Label7->setAccessibleName(QStringLiteral("Number of records:"));
    Text5 = makePanelBox(this, "Text5", QStringLiteral("0000"), {6225, 4755, 525, 195},
                         QStringLiteral("Number of records"));
    Text5->setReadOnly(false);  // an ordinary text box; nothing reads it back
    Text5->setFrame(false);
    Text5->setTextMargins(0, 0, 0, 0);
    Text5->setContentsMargins(0, 0, 0, 0);

    // Tab order as designed: search box, "Go !", "Open ...", field buttons top to bottom,
    // then the report box.
    QWidget* previous = Text4;
    for (QWidget* next : {static_cast<QWidget*>(Command3), static_cast<QWidget*>(Command2)}) {
        setTabOrder(previous, next);
        previous = next;
    }
    for (int index : kFieldButtonTabOrder) {
        setTabOrder(previous, Command1[static_cast<std::size_t>(index)]);
        previous = Command1[static_cast<std::size_t>(index)];
    }
    setTabOrder(previous, Text3);
    Text4->setFocus();
}

void SearchWindow::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    static const QPixmap background(QStringLiteral(":/trailscan/background.png"));
    QPainter painter(this);
    painter.drawPixmap(0, 0, background);
}

void SearchWindow::keyPressEvent(QKeyEvent* event) {
    // Escape does not close this window; only its close box does.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SearchWindow::closeEvent(QCloseEvent* event) {
    if (runningSearch_ != nullptr) {
        runningSearch_->cancel = true;
    }
    channel_.close();
    openFlag_ = false;
    event->accept();
    platform_.programEnd.end();
}

void SearchWindow::Command2_Click() { openFlow(std::nullopt); }

void SearchWindow::openGiven(const QString& path) { openFlow(QFileInfo(path).absoluteFilePath()); }

void SearchWindow::dragEnterEvent(QDragEnterEvent* event) { acceptLogDrag(event); }

void SearchWindow::dropEvent(QDropEvent* event) {
    if (const auto path = droppedLog(event->mimeData())) {
        event->acceptProposedAction();
        openFlow(*path);
    }
}

void SearchWindow::openFlow(const std::optional<QString>& given) {
    // What a failed open puts back; the panel, table, search box and report are only
    // changed once every step has succeeded.
    const QString fileName = fileName_;
    const Selector selector = searchSelector_;
    const std::int64_t lineTotal = lineTotal_;
    if (runningSearch_ != nullptr) {
        runningSearch_->cancel = true;
    }
    if (openFlag_) {
        channel_.close();
    }
    reset();
    fromDialog_ = !given;
    if (given) {
        fileName_ = *given;
    } else {
        dialog();
    }
    if (!op()) {
        fileName_ = fileName;
        searchSelector_ = selector;
        lineTotal_ = lineTotal;
        return;
    }
    read();
    Fset();
}

void SearchWindow::reset() {
    searchSelector_ = kSelectUserName;
    openFlag_ = false;
    lineTotal_ = 0;
}

void SearchWindow::dialog() {
    if (auto chosen = opening_.choose()) {
        fileName_ = *chosen;
    }
}

bool SearchWindow::op() {
    if (!opening_.open(channel_, fileName_, fromDialog_)) {
        return false;
    }
    openFlag_ = true;
    return linecounter();
}

bool SearchWindow::linecounter() {
    log::FieldIndex index;
    const auto total = opening_.countAndReopen(channel_, fileName_, &index);
    if (!total) {
        openFlag_ = false;
        return false;
    }
    lineTotal_ = *total;
    fieldIndex_ = std::move(index);
    const auto panel = log::panelTexts(fileName_.toStdU16String());
    // The boxes are narrow: show each text from its start, and all of it on hover.
    for (auto [box, text] : {std::pair{Text2, lastModifiedText(fileName_)},
                             std::pair{Text1, QString::fromStdU16String(panel.shownName)}}) {
        box->setText(text);
        box->setCursorPosition(0);
        box->setToolTip(text);
    }
    // A compressed log cut short or damaged: the panel says where its lines end.
    if (const log::Source* source = channel_.source(); source != nullptr) {
        if (const auto damage = source->damage()) {
            Text1->setToolTip(Text1->toolTip() + QStringLiteral("\n") +
                              QString::fromStdString(log::damageSentence(*damage)));
        }
    }
    setNamedLabelText(Label3, kLogDateName, QString::fromStdU16String(panel.date));
    setNamedLabelText(Label1, kLogKindName, QString::fromStdU16String(panel.kind));
    Text5->setText(QString::number(lineTotal_));
    // The line total counts every line; the table keeps the first 5001 records.
    const std::int64_t lines = lineTotal_ - 1;
    Text5->setToolTip(
        lines > kRecordCapacity
            ? QStringLiteral("Searches see the first %1 records of %2 lines; Ctrl+Enter "
                             "searches all of them")
                  .arg(kRecordCapacity)
                  .arg(QLocale(QLocale::English).toString(static_cast<qlonglong>(lines)))
            : QStringLiteral("Go ! (Enter) searches the records in the table; Ctrl+Enter "
                             "searches the whole log"));
    return true;
}

void SearchWindow::read() {
    const LoadOutcome loaded = table_.load(channel_, QFileInfo(fileName_).size());
    // A table that does not hold the log's records whole says so, and what the searches see.
    QStringList notes;
    const QLocale english(QLocale::English);
    if (loaded.budgetReached) {
        notes << QStringLiteral(
                     "The records of this log are too long to keep whole in memory. The "
                     "searches see its first %1 records, which fill %2 MiB.")
                     .arg(english.toString(loaded.records))
                     .arg(kTableBudget >> 20);
    }
    if (loaded.fieldsCut) {
        notes << QStringLiteral(
                     "Some fields of this log are longer than %1 characters. The searches "
                     "see the first %1 characters of each.")
                     .arg(english.toString(static_cast<qulonglong>(log::kMaxFieldLength)));
    }
    if (!notes.isEmpty()) {
        platform_.messenger.inform(this, kTitle, notes.join(QStringLiteral("\n\n")));
    }
}

void SearchWindow::Fset() {
    if (auto user = defaultQueryText(table_)) {
        Text4->setText(fromLog(*user));
    }
    searchSelector_ = kSelectUserName;
    nevis();
}

void SearchWindow::nevis() {
    // Emptying the box hands its bytes back: the report is built in the same memory again
    // instead of tens of megabytes of fresh pages.
    std::string report = Text3->takeReport();
    const QString typed = Text4->text();
    const auto text = common::encodeWindows1252(typed.toStdU16String());
    if (!text) {
        // No log byte can hold this text, so no field matches it; the record-number search
        // still writes its report.
        if (searchSelector_.kind == SelectorKind::RecordNumber) {
            Text3->setText(
                QString::fromStdU16String(recordNumberSearch(table_, typed.toStdU16String())));
        }
        return;
    }
    runSearch(table_, searchSelector_, *text, report);
    Text3->setReport(std::move(report));
}

bool SearchWindow::isRegularExpression() const { return regexAction_->isChecked(); }

void SearchWindow::setRegularExpression(bool on) {
    if (regexAction_->isChecked() != on) {
        regexAction_->setChecked(on);  // toggled() comes back here
        return;
    }
    setWindowTitle(on ? kTitle + QStringLiteral(" (regular expression)") : kTitle);
    Text4->setToolTip(
        on ? QStringLiteral("Ctrl+Enter and Ctrl+Shift+Enter take this text as a regular "
                            "expression, (?i) in front for any case; Go ! searches it as it "
                            "stands. Ctrl+R turns it off.")
           : QStringLiteral("The text to search for; Ctrl+R makes it a regular expression for "
                            "Ctrl+Enter and Ctrl+Shift+Enter."));
}

std::optional<SearchWindow::WholeLogText> SearchWindow::wholeLogText() {
    if (runningSearch_ != nullptr) {
        // Asked again while a search runs: that search stops at its next block, and no other
        // starts.
        runningSearch_->cancel = true;
        return std::nullopt;
    }
    if (!openFlag_) {
        Text3->appendBytes("Please select a LOG file at first!\r\n");
        return std::nullopt;
    }
    if (Text4->text().isEmpty()) {
        return std::nullopt;
    }
    const std::u16string typed = Text4->text().toStdU16String();
    const auto text = common::encodeWindows1252(typed);
    const bool regular =
        isRegularExpression() && searchSelector_.kind != SelectorKind::RecordNumber;
    WholeLogText taken;
    if (regular) {
        std::string error(regex::kPatternOutsideCodePage);
        if (text) {
            taken.pattern = regex::FieldPattern::compile(*text, error);
        }
        if (!taken.pattern) {
            Text3->setText(QString::fromStdString(error) + QStringLiteral("\r\n"));
            return std::nullopt;
        }
    }
    if (!text) {
        // No log byte can hold this text: no field matches and it names no record.
        Text3->takeReport();
        if (searchSelector_.kind == SelectorKind::RecordNumber) {
            Text3->setText(QString::fromStdU16String(typed) + QStringLiteral("= \r\n\r\n") +
                           fromLog(kBadWholeLogRecordNumber) + QStringLiteral("\r\n"));
        }
        return std::nullopt;
    }
    taken.query = WholeLogQuery{searchSelector_, *text};
    taken.query.pattern = taken.pattern.get();
    return taken;
}

void SearchWindow::takeFound(std::string_view piece) {
    const std::lock_guard lock(foundMutex_);
    found_ += piece;
    if (found_.size() >= kBatchRoom / 2 && !batchAsked_) {
        batchAsked_ = true;
        QMetaObject::invokeMethod(
            this, [this] { showWholeLogResults(); }, Qt::QueuedConnection);
    }
}

void SearchWindow::runReportJob(forms::ProgressJob& job, ScanControl& control) {
    // Room for a report up to the capacity, taken up only as it is written: the box then
    // never copies a report of hundreds of megabytes to grow it.
    std::string report = Text3->takeReport();
    report.clear();
    report.reserve(kReportCapacity + 4096);
    Text3->setReport(std::move(report));
    runningSearch_ = &control;
    job.title = kTitle;
    job.done = &control.bytesDone;
    job.cancel = &control.cancel;
    // Once found_ holds half its room it is handed over at once rather than at the next tick,
    // so it rarely holds more. It grows past its room when one piece is larger (one block's
    // results can be several megabytes) or the window falls behind; the report's capacity
    // bounds it all the same.
    found_.reserve(kBatchRoom);
    shown_.reserve(kBatchRoom);
    // A few times a second the report box takes what was found, while the search runs on.
    QTimer batches;
    batches.setInterval(200);
    connect(&batches, &QTimer::timeout, this, &SearchWindow::showWholeLogResults);
    batches.start();
    platform_.progress.run(this, job);
    batches.stop();
    showWholeLogResults();
    std::string().swap(found_);
    std::string().swap(shown_);
    runningSearch_ = nullptr;
}

void SearchWindow::searchWholeLog() {
    auto taken = wholeLogText();
    if (!taken) {
        return;
    }
    const WholeLogQuery& query = taken->query;
    ScanControl control;
    ScanOutcome outcome;
    forms::ProgressJob job;
    job.label = QStringLiteral("Searching %1").arg(QFileInfo(fileName_).fileName());
    job.total = QFileInfo(fileName_).size();
    job.work = [&] {
        const auto found = [this](std::string_view piece) { takeFound(piece); };
        // The open log's own source: a compressed one keeps the access points of its count.
        if (const auto source = channel_.sharedSource()) {
            outcome = scan::searchWholeLog(*source, &fieldIndex_, query, control, found);
        } else {
            outcome = scan::searchWholeLog(logPath(fileName_), &fieldIndex_, query, control, found);
        }
    };
    runReportJob(job, control);
    if (outcome.end == ScanEnd::Unreadable) {
        opening_.reportFailure(fileName_, outcome.error);
    }
}

void SearchWindow::searchFolder() {
    auto taken = wholeLogText();
    if (!taken) {
        return;
    }
    const WholeLogQuery& query = taken->query;
    const QString folderPath = QFileInfo(fileName_).absolutePath();
    ScanControl control;
    std::atomic<std::int64_t> total{0};
    std::mutex detailMutex;
    QString detail;
    forms::ProgressJob job;
    job.label =
        QStringLiteral("Searching every log in %1").arg(QDir::toNativeSeparators(folderPath));
    job.liveTotal = &total;
    job.detail = [&] {
        const std::lock_guard lock(detailMutex);
        return detail;
    };
    job.work = [&] {
        // The headings name the logs in the report's own code page; a character it lacks
        // shows as '?'.
        folder::LogListing listing = folder::listLogs({logPath(folderPath).string()});
        for (folder::LogEntry& entry : listing.logs) {
            entry.shown = reportBytesOf(QString::fromStdString(entry.shown));
        }
        total = folder::totalBytes(listing);
        const auto line = [this](const std::string& shown, const std::string& reason) {
            takeFound(shown + ": " + reason + ".\r\n");
        };
        for (const folder::ListingTrouble& trouble : listing.troubles) {
            line(reportBytesOf(QString::fromStdString(trouble.shown)), trouble.reason);
        }
        const folder::FolderOutcome outcome = folder::searchLogs(
            listing, query, control, [this](std::string_view piece) { takeFound(piece); },
            [&](const folder::LogEntry& log, const std::string& reason) {
                line(log.shown, reason);
            },
            [&](std::size_t index) {
                const std::lock_guard lock(detailMutex);
                detail =
                    QStringLiteral("Log %1 of %2: %3")
                        .arg(index + 1)
                        .arg(listing.logs.size())
                        .arg(QString::fromStdString(listing.logs[index].path.filename().string()));
            });
        if (outcome.cancelled) {
            takeFound("Stopped in log " + std::to_string(outcome.logsDone + 1) + " of " +
                      std::to_string(listing.logs.size()) + ".\r\n");
        } else if (listing.logs.empty()) {
            takeFound("This folder holds no log.\r\n");
        }
    };
    runReportJob(job, control);
}

void SearchWindow::showWholeLogResults() {
    {
        const std::lock_guard lock(foundMutex_);
        shown_.swap(found_);
        batchAsked_ = false;
    }
    Text3->appendBytes(shown_);
    shown_.clear();
}

void SearchWindow::Command1_Click(int index) {
    const auto& row = kFieldButtons[static_cast<std::size_t>(index)];
    searchSelector_ = row.selector;
    Label5->setText(QString::fromLatin1(row.label));
    Text4->setFocus();
    // From now on Enter presses "Go !".
    Command2->setDefault(false);
    Command3->setDefault(true);
}

void SearchWindow::Command3_Click() {
    if (!openFlag_) {
        Text3->appendBytes("Please select a LOG file at first!\r\n");
    }
    if (!Text4->text().isEmpty()) {
        nevis();
    }
}

}  // namespace trailscan::search
