#include "kestrand/settings/settings_dialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "forms/fonts.h"
#include "forms/twips.h"
#include "kestrand/text/key_codes.h"
#include "kestrand/text/ltr_label.h"
#include "kestrand/text/ltr_push_button.h"
#include "kestrand/text/qt_text.h"
#include "kestrand/text/spoken_text.h"
#include "kestrand/text/stored_strings.h"
#include "kestrand/text/typed_code.h"

namespace kestrand::settings {

using text::isEscape;
using text::LtrLabel;
using text::LtrPushButton;
using text::toQString;
using text::typedCode;

namespace {

constexpr int kClientWidth = 7095;
constexpr int kClientHeight = 5565;

// Top of each report kind's check box in Frame2, by index.
constexpr std::array<int, SettingsDialog::kReportKindCount> kCheckTops = {720,  2160, 1800, 1440,
                                                                          1080, 2520, 2880};

constexpr std::array<forms::DesignRect, 3> kCommand1Rects = {{
    {120, 5100, 1815, 375},
    {4200, 5100, 1455, 375},
    {5760, 5100, 1215, 375},
}};

QGroupBox* frame(QWidget* parent, const char* name, const forms::DesignRect& rect) {
    auto* box = new QGroupBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    forms::place(box, rect);
    return box;
}

QFont persianFont(double pointSize) {
    return forms::designFont(QStringLiteral("ZARVENA"), pointSize, true);
}

QString spokenLabel(std::u16string_view stored) { return toQString(text::spokenLabel(stored)); }

// Where the folder chooser opens: the folder the text names where it exists, else home.
QString browseStartFolder(const QString& folderText) {
    const QFileInfo named(QDir::fromNativeSeparators(folderText.trimmed()));
    if (!folderText.trimmed().isEmpty() && named.isDir()) {
        return named.absoluteFilePath();
    }
    return QDir::homePath();
}

}  // namespace

SettingsDialog::SettingsDialog(forms::Platform& platform, ReportOpener& reports, QWidget* parent)
    : QWidget(parent, Qt::Dialog), platform_(platform), reports_(reports) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(toQString(text::kSettingsCaption));
    setWindowIcon(QIcon(QStringLiteral(":/kestrand/kestrand.ico")));
    setAttribute(Qt::WA_DeleteOnClose);
    forms::setClientSize(this, kClientWidth, kClientHeight, true);
    buildControls();
    restoreStartingValues();
    applyTabOrder();
}

void SettingsDialog::buildControls() {
    Frame1 = frame(this, "Frame1", {120, 0, 4695, 3375});
    Frame2 = frame(this, "Frame2", {4920, 0, 2055, 3375});
    Frame3 = frame(this, "Frame3", {120, 3405, 6855, 1575});
    Frame1->setAccessibleName(QStringLiteral("Data folder"));
    Frame2->setAccessibleName(QStringLiteral("Report kinds"));
    Frame3->setAccessibleName(QStringLiteral("Bottom panel"));

    Command2 = new QPushButton(toQString(text::kBrowse), Frame1);
    Command2->setObjectName(QStringLiteral("Command2"));
    forms::place(Command2, {150, 255, 720, 285});
    connect(Command2, &QPushButton::clicked, this, &SettingsDialog::Command2_Click);

    Text1 = new QLineEdit(Frame1);
    Text1->setObjectName(QStringLiteral("Text1"));
    forms::place(Text1, {930, 255, 1890, 300});

    Label1 = new LtrLabel(toQString(text::kFolderLabel), Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAccessibleName(spokenLabel(text::kFolderLabel));
    Text1->setAccessibleName(spokenLabel(text::kFolderLabel).remove(QLatin1Char(':')));
    Label1->setFont(persianFont(9));
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    forms::place(Label1, {2850, 255, 1650, 255});

    Label2 = new LtrLabel(toQString(text::kRequestedLabel), Frame2);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAccessibleName(spokenLabel(text::kRequestedLabel));
    Label2->setFont(persianFont(9));
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    forms::place(Label2, {240, 240, 1650, 255});

    for (int i = 0; i < kReportKindCount; ++i) {
        auto* box = new QCheckBox(toQString(text::kReportKinds[i]), Frame2);
        box->setObjectName(QStringLiteral("Check1(%1)").arg(i));
        box->setFont(persianFont(9));
        // The tick box stands at the right of the caption, where a Persian reader starts.
        box->setLayoutDirection(Qt::RightToLeft);
        forms::place(box, {120, kCheckTops[i], 1815, 255});
        Check1[i] = box;
    }

    for (int i = 0; i < 3; ++i) {
        auto* button = new LtrPushButton(toQString(text::kDialogButtons[i]), this);
        button->setObjectName(QStringLiteral("Command1(%1)").arg(i));
        button->setAccessibleName(
            toQString(text::spokenCaption(text::kDialogButtons[i], text::PartOrder::Swapped)));
        button->setFont(persianFont(8.25));
        forms::place(button, kCommand1Rects[i]);
        connect(button, &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
        Command1[i] = button;
    }
    Command1[kOkButton]->setDefault(true);

    // Every control that takes the focus passes its typed characters through the Escape
    // test; a focused button takes Enter itself.
    for (QPushButton* button : {Command1[0], Command1[1], Command1[2], Command2}) {
        button->setAutoDefault(true);
        button->installEventFilter(this);
    }
    for (QCheckBox* box : Check1) {
        box->installEventFilter(this);
    }
    Text1->installEventFilter(this);
}

void SettingsDialog::applyTabOrder() {
    // By tab index: Command1(2) 0, Command1(1) 1, Command1(0) 2, Text1 6, Command2 8,
    // Check1(i) 10 + i; frames and labels take no focus.
    QWidget* order[] = {Command1[2], Command1[1], Command1[0], Text1,     Command2,  Check1[0],
                        Check1[1],   Check1[2],   Check1[3],   Check1[4], Check1[5], Check1[6]};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
    Command1[2]->setFocus();
}

bool SettingsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    const char16_t typed = typedCode(*static_cast<QKeyEvent*>(event));
    char16_t code = typed;
    for (int i = 0; i < kReportKindCount; ++i) {
        if (watched == Check1[i]) {
            Check1_KeyPress(i, code);
        }
    }
    for (int i = 0; i < static_cast<int>(Command1.size()); ++i) {
        if (watched == Command1[i]) {
            Command1_KeyPress(i, code);
        }
    }
    if (watched == Command2) {
        Command2_KeyPress(code);
    } else if (watched == Text1) {
        Text1_KeyPress(code);
    }
    if (typed != 0 && code == 0) {
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsDialog::hideOnEscape(char16_t& keyAscii) {
    if (isEscape(keyAscii)) {
        hide();
        keyAscii = 0;
    }
}

void SettingsDialog::Check1_KeyPress(int /*index*/, char16_t& keyAscii) { hideOnEscape(keyAscii); }

void SettingsDialog::Command1_KeyPress(int /*index*/, char16_t& keyAscii) {
    hideOnEscape(keyAscii);
}

void SettingsDialog::Command2_KeyPress(char16_t& keyAscii) { hideOnEscape(keyAscii); }

void SettingsDialog::Text1_KeyPress(char16_t& keyAscii) { hideOnEscape(keyAscii); }

void SettingsDialog::keyPressEvent(QKeyEvent* event) {
    // Enter that no control took presses the default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Command1[kOkButton]->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SettingsDialog::restoreStartingValues() {
    for (QCheckBox* box : Check1) {
        box->setChecked(false);
    }
    Text1->setText(toQString(text::kInitialFolder));
    Text1->setCursorPosition(0);
}

void SettingsDialog::Command1_Click(int index) {
    if (index == kCancelButton) {
        hide();
    } else if (index == kDefaultButton) {
        restoreStartingValues();
    } else if (index == kOkButton) {
        makeTickedReports();
    }
}

void SettingsDialog::makeTickedReports() {
    ReportOrder request;
    request.folder = Text1->text();
    bool anyTicked = false;
    for (int i = 0; i < kReportKindCount; ++i) {
        request.kinds[static_cast<std::size_t>(i)] = Check1[i]->isChecked();
        anyTicked = anyTicked || Check1[i]->isChecked();
    }
    if (!anyTicked) {
        platform_.messenger.inform(this, toQString(text::kReportsTitle),
                                   QStringLiteral("هیچ نوع گزارشی تیک نخورده است. دست کم یکی از "
                                                  "گزارش‌های "
                                                  "«اطلاعات درخواستی» را تیک بزنید."));
        return;
    }
    // The dialog stays as it is; the report opens in a window of its own.
    reports_.open(this, request);
}

void SettingsDialog::Command2_Click() {
    const forms::FolderRequest request{Text1->accessibleName(), browseStartFolder(Text1->text())};
    // The chooser is modal over this dialog; Escape in it closes the chooser alone.
    if (const std::optional<QString> folder = platform_.folderChooser.chooseFolder(this, request)) {
        // The cursor ends up at the end, so a long path shows the chosen folder's own name.
        Text1->setText(QDir::toNativeSeparators(*folder));
    }
}

}  // namespace kestrand::settings
