// Renders kestrand's windows to PNG files for the documentation:
//   kestrand_screenshots OUTPUT_FOLDER
// The settings dialog is opened the way a user opens it: Ctrl+P on the wide button.
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTest>

#include "forms/fonts.h"
#include "kestrand/main_window.h"
#include "kestrand/settings_dialog.h"
#include "tests/support/scripted_platform.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    forms::installFontSubstitutions();
    if (argc < 2) {
        qWarning("usage: kestrand_screenshots OUTPUT_FOLDER");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const qreal ratio = qApp->devicePixelRatio();
    const QString suffix = ratio == 1.0 ? QString() : QStringLiteral("@%1x").arg(ratio);

    testing_support::ScriptedPlatform scripted;
    kestrand::MainWindow window(scripted.platform);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    window.grab().save(out.filePath(QStringLiteral("kestrand-main%1.png").arg(suffix)));
    auto* wide = window.findChild<QPushButton*>(QStringLiteral("Command1"));
    wide->setFocus();
    QTest::keyClick(wide, Qt::Key_P, Qt::ControlModifier);
    if (auto* dialog = window.settingsDialog()) {
        (void)QTest::qWaitForWindowExposed(dialog);
        dialog->grab().save(out.filePath(QStringLiteral("kestrand-settings%1.png").arg(suffix)));
    } else {
        qWarning("the settings dialog did not open");
        return 1;
    }
    return 0;
}
