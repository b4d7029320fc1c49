#include "kestrand/info/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <vector>

#include "forms/fonts.h"
#include "forms/twips.h"
#include "kestrand/info/chart_data.h"
#include "kestrand/info/usage_chart.h"
#include "kestrand/settings/settings_dialog.h"
#include "kestrand/text/key_codes.h"
#include "kestrand/text/ltr_push_button.h"
#include "kestrand/text/qt_text.h"
#include "kestrand/text/stored_strings.h"
#include "kestrand/text/typed_code.h"

// The pictures are linked into a static library, so they are registered by hand.
static void initKestrandResources() { Q_INIT_RESOURCE(kestrand); }

namespace kestrand::info {

using settings::SettingsDialog;
using text::isSettingsShortcut;
using text::LtrPushButton;
using text::toQString;
using text::typedCode;

namespace {

constexpr int kClientWidth = 7575;
constexpr int kClientHeight = 5085;
constexpr int kOriginLeft = 1230;
constexpr int kOriginTop = 1500;
constexpr int kDialogGap = 8;  // pixels between the main window and the dialog

QPushButton* pictureButton(QWidget* parent, const char* name, const QString& icon,
                           const forms::DesignRect& rect) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(QIcon(icon));
    button->setIconSize(QSize(32, 32));
    forms::place(button, rect);
    return button;
}

}  // namespace

MainWindow::MainWindow(forms::Platform& platform, settings::ReportOpener& reports, QWidget* parent)
    : QWidget(parent), platform_(platform), reports_(reports) {
    initKestrandResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(toQString(text::kMainCaption));
    setWindowIcon(QIcon(QStringLiteral(":/kestrand/kestrand.ico")));
    forms::setClientSize(this, kClientWidth, kClientHeight, true);
    move(forms::twips(kOriginLeft), forms::twips(kOriginTop));
    buildControls();
    applyTabOrder();
}

MainWindow::~MainWindow() { delete settings_.data(); }

void MainWindow::buildControls() {
    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setPixmap(QPixmap(QStringLiteral(":/kestrand/logo.jpg")));
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture1->setFrameShape(QFrame::Panel);
    Picture1->setFrameShadow(QFrame::Sunken);
    Picture1->setLineWidth(1);
    Picture1->setFocusPolicy(Qt::StrongFocus);
    Picture1->setAccessibleName(QStringLiteral("Logo"));
    forms::place(Picture1, {120, 120, 1050, 4800});

    Command1 = new LtrPushButton(toQString(text::kOpenInformationFiles), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setFont(forms::designFont(QStringLiteral("ZARVENA"), 8.25, true));
    Command1->setDefault(true);
    forms::place(Command1, {1320, 120, 6135, 375});

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setAccessibleName(QStringLiteral("Usage by season"));
    forms::place(Frame1, {1320, 600, 6135, 4335});

    // Created first so that it lies behind the chart.
    Label1 = new QLabel(Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAccessibleName(QStringLiteral("Chart background"));
    QPalette labelColors = Label1->palette();
    labelColors.setColor(QPalette::Window, labelColors.color(QPalette::Base));
    labelColors.setColor(QPalette::WindowText, labelColors.color(QPalette::Text));
    Label1->setPalette(labelColors);
    Label1->setAutoFillBackground(false);
    forms::place(Label1, {60, 75, 6135, 4215});

    Chart1 = new UsageChart(usageChartData(), Frame1);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->setFocusPolicy(Qt::StrongFocus);
    forms::place(Chart1, {0, 120, 6135, 4215});

    Command2 = pictureButton(Frame1, "Command2", QStringLiteral(":/kestrand/wedge_up.ico"),
                             {5190, 345, 810, 1155});
    Command3 = pictureButton(Frame1, "Command3", QStringLiteral(":/kestrand/wedge_down.ico"),
                             {5190, 2970, 810, 1155});
    Command2->setAccessibleName(QStringLiteral("Up"));
    Command3->setAccessibleName(QStringLiteral("Down"));

    for (QPushButton* button : {Command1, Command2, Command3}) {
        button->setAutoDefault(true);
        button->installEventFilter(this);
    }
}

void MainWindow::applyTabOrder() {
    // Command1 0, Chart1 2, Picture1 4, Command2 5, Command3 6; the frame and the label
    // take no focus.
    QWidget::setTabOrder(Command1, Chart1);
    QWidget::setTabOrder(Chart1, Picture1);
    QWidget::setTabOrder(Picture1, Command2);
    QWidget::setTabOrder(Command2, Command3);
    Command1->setFocus();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Only the three buttons' typed characters are looked at; the button still handles
    // the key as usual.
    if (event->type() == QEvent::KeyPress) {
        char16_t code = typedCode(*static_cast<QKeyEvent*>(event));
        if (watched == Command1) {
            Command1_KeyPress(code);
        } else if (watched == Command2) {
            Command2_KeyPress(code);
        } else if (watched == Command3) {
            Command3_KeyPress(code);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::Command1_KeyPress(char16_t& keyAscii) { settingsShortcut(keyAscii); }

void MainWindow::Command2_KeyPress(char16_t& keyAscii) { settingsShortcut(keyAscii); }

void MainWindow::Command3_KeyPress(char16_t& keyAscii) { settingsShortcut(keyAscii); }

void MainWindow::settingsShortcut(char16_t keyAscii) {
    if (isSettingsShortcut(keyAscii)) {
        showSettings();
    }
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Enter that no control took presses the default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Command1->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::showSettings() {
    if (settings_.isNull()) {
        // No owner: the dialog is a window of its own beside this one.
        settings_ = new SettingsDialog(platform_, reports_);
    }
    if (!settings_->isVisible()) {
        // A dialog not yet shown has no frame; take this window's frame as its measure.
        const QSize frame = frameGeometry().size() - size();
        settings_->move(besideThisWindow(settings_->size() + frame));
    }
    settings_->show();
    settings_->raise();
    settings_->activateWindow();
}

QPoint MainWindow::besideThisWindow(const QSize& size) const {
    // To the right where the screen has room, else to the left, else as far right as the
    // screen allows.
    const QRect main = frameGeometry();
    const QPoint right(main.right() + 1 + kDialogGap, main.top());
    const QScreen* screen = this->screen();
    if (screen == nullptr) {
        return right;
    }
    const QRect area = screen->availableGeometry();
    const int top =
        std::clamp(main.top(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
    if (right.x() + size.width() <= area.right() + 1) {
        return {right.x(), top};
    }
    const int left = main.left() - kDialogGap - size.width();
    if (left >= area.left()) {
        return {left, top};
    }
    return {std::max(area.left(), area.right() + 1 - size.width()), top};
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing ends the program at once, the dialog and the report windows with it; nothing
    // is asked.
    if (!settings_.isNull()) {
        settings_->hide();
    }
    reports_.closeAll();
    event->accept();
    platform_.programEnd.end();
}

}  // namespace kestrand::info
