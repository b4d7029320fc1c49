#include "trailscan/browser/browser_window.h"

#include <QCloseEvent>
#include <QColor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPalette>
#include <QPushButton>
#include <QShortcut>
#include <filesystem>

#include "common/code_pages.h"
#include "forms/fonts.h"
#include "forms/twips.h"
#include "trailscan/app/log_file_request.h"
#include "trailscan/log/file_choice.h"
#include "trailscan/log/line_count.h"
#include "trailscan/log/record.h"

// The window's icon lives in this library's resources; a static library must register
// them itself.
static void initBrowserResources() { Q_INIT_RESOURCE(trailscan_browser); }

namespace trailscan::browser {

using app::acceptLogDrag;
using app::droppedLog;

namespace {

constexpr int kClientWidth = 3765;
constexpr int kBoxLeft = 70;
constexpr int kBoxTop = 25;
constexpr int kBoxPitch = 320;  // a 300-twip box and a 20-twip gap
constexpr int kBoxHeight = 300;
constexpr int kShortBoxWidth = 2000;
constexpr int kLongBoxWidth = 3615;
constexpr int kBelowLastBox = 700;  // from the last box's gap to the window's bottom edge
constexpr forms::DesignRect kPositionBox{2110, 25, 1570, 300};
constexpr forms::DesignRect kBackButton{70, 7455, 1245, 195};
constexpr forms::DesignRect kChooseButton{1455, 7455, 765, 195};
constexpr forms::DesignRect kForwardButton{2370, 7455, 1320, 195};

const QColor kWindowBack(255, 255, 192);
const QColor kFieldText(192, 0, 0);
const QColor kPositionText(0, 0, 255);

const char* const kStartTitle = " Tovrin said:";
const char* const kStartMessage = "At start of file; No last record to return...";

QColor toColor(const Rgb& rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

QString display(std::string_view bytes) {
    return QString::fromStdU16String(common::decodeWindows1252(bytes));
}

// A record box's name for screen readers: its column, and the column's meaning where the
// program gives it one.
QString fieldAccessibleName(int column) {
    struct Meaning {
        int column;
        const char* text;
    };
    constexpr Meaning kMeanings[] = {{log::kColumnIp, "IP address"},
                                     {log::kColumnUser, "user name"},
                                     {log::kColumnDate, "date"},
                                     {log::kColumnTime, "time"},
                                     {log::kColumnSite, "site"}};
    QString name = QStringLiteral("Field %1").arg(column);
    for (const Meaning& meaning : kMeanings) {
        if (meaning.column == column) {
            name += QStringLiteral(", ") + QString::fromLatin1(meaning.text);
        }
    }
    return name;
}

QPushButton* makeStepButton(QWidget* parent, const char* name, const char* caption,
                            const forms::DesignRect& rect) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(QString::fromLatin1(caption));
    button->setFont(forms::designFont(QStringLiteral("Impact"), 9, true));
    forms::place(button, rect);
    return button;
}

// Graphical-style buttons show their back colour whatever the widget style; a style sheet
// paints it on every style, and the palette and a property carry it for anyone reading it.
void setBackColour(QPushButton* button, const Rgb& rgb) {
    const QColor colour = toColor(rgb);
    if (button->property(BrowserWindow::kBackColourProperty).value<QColor>() == colour) {
        return;
    }
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, colour);
    button->setPalette(palette);
    button->setProperty(BrowserWindow::kBackColourProperty, colour);
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: black;"
                                         " border: 1px solid #404040; border-radius: 0;"
                                         " padding: 0; margin: 0; }"
                                         "QPushButton:default { border-color: black; }"
                                         "QPushButton:pressed { background-color: %2; }")
                              .arg(colour.name(), colour.darker(115).name()));
}

}  // namespace

BrowserWindow::BrowserWindow(forms::Platform& platform, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint),
      platform_(platform),
      opening_(platform, this) {
    initBrowserResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral(" Proxy Kestrand...!"));
    setWindowIcon(QIcon(QStringLiteral(":/trailscan/browser/browser.png")));
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, kWindowBack);
    windowPalette.setColor(QPalette::WindowText, Qt::black);
    setPalette(windowPalette);
    setAutoFillBackground(true);

    const QFont boxFont = forms::designFont(QStringLiteral("Tahoma"), 9.75);
    for (int i = 0; i < log::kFieldCount; ++i) {
        auto* box = new QLineEdit(QStringLiteral("Text1"), this);
        box->setObjectName(QStringLiteral("Text1(%1)").arg(i));
        box->setAccessibleName(fieldAccessibleName(i));
        box->setFont(boxFont);
        box->setReadOnly(true);
        // A line edit keeps 32767 characters unless told otherwise; a box shows all of
        // the field that is kept.
        box->setMaxLength(static_cast<int>(log::kMaxFieldLength));
        QPalette boxPalette = box->palette();
        boxPalette.setColor(QPalette::Text, kFieldText);
        boxPalette.setColor(QPalette::Base, Qt::white);
        box->setPalette(boxPalette);
        Text1[static_cast<std::size_t>(i)] = box;
    }
    Text2 = new QLineEdit(QStringLiteral("Text2"), this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setAccessibleName(QStringLiteral("Record position"));
    Text2->setFont(forms::designFont(QStringLiteral("Tahoma"), 9.75, true));
    Text2->setReadOnly(true);
    QPalette positionPalette = Text2->palette();
    positionPalette.setColor(QPalette::Text, kPositionText);
    positionPalette.setColor(QPalette::Base, Qt::white);
    Text2->setPalette(positionPalette);

    Command2 = makeStepButton(this, "Command2", "<<", kBackButton);
    Command3 = makeStepButton(this, "Command3", "| |", kChooseButton);
    Command1 = makeStepButton(this, "Command1", ">>", kForwardButton);
    Command3->setAccessibleName(QStringLiteral("Choose another log"));
    Command2->setAccessibleName(QStringLiteral("Previous record"));
    Command1->setAccessibleName(QStringLiteral("Next record"));
    Command3->setDefault(true);
    setBackColour(Command3, kButtonColour);
    showColours();

    // Tab order: the record boxes, then ">>", "<<", "| |" and the position box.
    QWidget* previous = Text1[0];
    for (int i = 1; i < log::kFieldCount; ++i) {
        setTabOrder(previous, Text1[static_cast<std::size_t>(i)]);
        previous = Text1[static_cast<std::size_t>(i)];
    }
    for (QWidget* next : {static_cast<QWidget*>(Command1), static_cast<QWidget*>(Command2),
                          static_cast<QWidget*>(Command3), static_cast<QWidget*>(Text2)}) {
        setTabOrder(previous, next);
        previous = next;
    }

    connect(Command1, &QPushButton::clicked, this, &BrowserWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &BrowserWindow::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &BrowserWindow::Command3_Click);
    // Alt+Right is ">>", Alt+Left "<<", Ctrl+O "| |"; a dropped file runs the "| |" flow.
    const auto key = [this](const QKeySequence& sequence, QPushButton* button, const QString& tip) {
        auto* shortcut = new QShortcut(sequence, this);
        connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
        button->setToolTip(tip);
    };
    key(QKeySequence(Qt::ALT | Qt::Key_Right), Command1, QStringLiteral("Next record (Alt+Right)"));
    key(QKeySequence(Qt::ALT | Qt::Key_Left), Command2,
        QStringLiteral("Previous record (Alt+Left)"));
    key(QKeySequence::Open, Command3, QStringLiteral("Choose another log (Ctrl+O)"));
    setAcceptDrops(true);

    Form_Load();
}

void BrowserWindow::Form_Load() {
    Text2->clear();
    forms::place(Text2, kPositionBox);
    int lastTop = kBoxTop;
    for (int i = 0; i < log::kFieldCount; ++i) {
        lastTop = kBoxTop + kBoxPitch * i;
        const int width = i == 0 ? kShortBoxWidth : kLongBoxWidth;
        forms::place(Text1[static_cast<std::size_t>(i)], {kBoxLeft, lastTop, width, kBoxHeight});
        Text1[static_cast<std::size_t>(i)]->clear();
    }
    forms::setClientSize(this, kClientWidth, lastTop + kBoxPitch + kBelowLastBox, true);
}

void BrowserWindow::keyPressEvent(QKeyEvent* event) {
    // Enter presses the focused button, or else the default button "| |".
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        (focused != nullptr ? focused : Command3)->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void BrowserWindow::closeEvent(QCloseEvent* event) {
    // A closed browser holds no file; shown again, its next button starts a new choice.
    channel_.close();
    open_ = false;
    QWidget::closeEvent(event);
}

// ">>"
void BrowserWindow::Command1_Click() {
    if (!open_) {
        dialog();
        if (!op()) {
            return;
        }
    }
    colours_.forwardPressed();
    showColours();
    read();
}

// "<<"
void BrowserWindow::Command2_Click() {
    if (!open_) {
        dialog();
        if (op()) {
            read();
        }
        return;
    }
    const StepBack::Kind step = moveBack(channel_, recordCounter_, savedLengths_).kind;
    if (step != StepBack::Kind::FromPosition) {
        colours_.startReached();
        showColours();
    }
    if (step == StepBack::Kind::AtStart) {
        platform_.messenger.inform(this, QString::fromLatin1(kStartTitle),
                                   QString::fromLatin1(kStartMessage));
        return;
    }
    readback();
}

// "| |"
void BrowserWindow::Command3_Click() { chooseAnother(std::nullopt); }

void BrowserWindow::chooseAnother(const std::optional<QString>& given) {
    // What the window shows now, put back when the new file does not open.
    const QString fileName = fileName_;
    const std::int64_t recordCounter = recordCounter_;
    const std::int64_t lineTotal = lineTotal_;
    const log::FieldSlots shown = slots_;
    const SavedLengths savedLengths = savedLengths_;
    if (open_) {
        channel_.close();
    }
    reset();
    open_ = false;
    fromDialog_ = !given;
    if (given) {
        fileName_ = *given;
    } else {
        dialog();
    }
    if (op()) {
        read();
        return;
    }
    fileName_ = fileName;
    recordCounter_ = recordCounter;
    lineTotal_ = lineTotal;
    slots_ = shown;
    savedLengths_ = savedLengths;
    for (int i = 0; i < log::kFieldCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        Text1[index]->setText(display(boxText(slots_[index])));
        Text1[index]->setCursorPosition(0);
    }
}

void BrowserWindow::dragEnterEvent(QDragEnterEvent* event) { acceptLogDrag(event); }

void BrowserWindow::dropEvent(QDropEvent* event) {
    if (const auto path = droppedLog(event->mimeData())) {
        event->acceptProposedAction();
        chooseAnother(QFileInfo(*path).absoluteFilePath());
    }
}

void BrowserWindow::reset() {
    savedLengths_.clear();
    for (int i = 0; i < log::kFieldCount; ++i) {
        slots_[static_cast<std::size_t>(i)].clear();
        Text1[static_cast<std::size_t>(i)]->clear();
    }
    recordCounter_ = 0;
    lineTotal_ = 0;
}

void BrowserWindow::dialog() {
    fromDialog_ = true;
    if (auto chosen = opening_.choose()) {
        fileName_ = *chosen;
    }
}

// False when the handler that called it must stop: the program ends, or the file could
// not be opened (the user has been told, and the window stays usable).
bool BrowserWindow::op() {
    if (!open_) {
        if (!opening_.open(channel_, fileName_, fromDialog_)) {
            return false;
        }
        open_ = true;
        recordCounter_ = 0;
        if (!linecounter()) {
            return false;
        }
    }
    Command1->setFocus();
    colours_.fileOpened();
    showColours();
    return true;
}

bool BrowserWindow::linecounter() {
    const auto total = opening_.countAndReopen(channel_, fileName_);
    if (!total) {
        open_ = false;
        return false;
    }
    lineTotal_ = *total;
    return true;
}

void BrowserWindow::read() {
    const log::RecordRead record = readNext(channel_, slots_, savedLengths_, recordCounter_);
    if (record.reachedEnd) {
        colours_.endReached();
        showColours();
        channel_.close();
        open_ = false;
    }
    Text2->setText(QString::fromStdString(positionText(recordCounter_, lineTotal_)));
    for (int i = 0; i < log::kFieldCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        Text1[index]->setText(display(boxText(slots_[index])));
        Text1[index]->setCursorPosition(0);
    }
}

// The step back has moved the position; the record there is read as any other.
void BrowserWindow::readback() { read(); }

void BrowserWindow::showColours() {
    setBackColour(Command1, colours_.forward);
    setBackColour(Command2, colours_.back);
}

}  // namespace trailscan::browser
