// Renders trailscan's windows to PNG files for the documentation:
//   trailscan_screenshots OUTPUT_FOLDER SAMPLE_LOG
// The search window is shown after opening the sample log through a scripted dialog, the
// record browser after two steps through the same log.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "forms/fonts.h"
#include "tests/support/scripted_platform.h"
#include "trailscan/browser/browser_window.h"
#include "trailscan/search/search_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    forms::installFontSubstitutions();
    if (argc < 3) {
        qWarning("usage: trailscan_screenshots OUTPUT_FOLDER SAMPLE_LOG");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QString sample = QString::fromLocal8Bit(argv[2]);
    const qreal ratio = qApp->devicePixelRatio();
    const QString suffix = ratio == 1.0 ? QString() : QStringLiteral("@%1x").arg(ratio);

    testing_support::ScriptedPlatform scripted;
    trailscan::search::SearchWindow window(scripted.platform);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    window.grab().save(out.filePath(QStringLiteral("trailscan-search-start%1.png").arg(suffix)));
    scripted.chooser.answer(sample);
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("Command2")), Qt::LeftButton);
    QTest::qWait(50);
    window.grab().save(out.filePath(QStringLiteral("trailscan-search%1.png").arg(suffix)));

    // A regular expression over every log of the sample's folder: the site column (the third
    // field button) for the mail hosts.
    window.setRegularExpression(true);
    QTest::mouseClick(window.Command1[2], Qt::LeftButton);
    window.findChild<QLineEdit*>(QStringLiteral("Text4"))
        ->setText(QStringLiteral("^mail\\.example\\.(org|net)$"));
    window.searchFolder();
    QTest::qWait(50);
    window.grab().save(out.filePath(QStringLiteral("trailscan-folder-search%1.png").arg(suffix)));
    window.setRegularExpression(false);

    // The record browser on the same log, two records in.
    trailscan::browser::BrowserWindow browser(scripted.platform);
    browser.show();
    (void)QTest::qWaitForWindowExposed(&browser);
    browser.grab().save(out.filePath(QStringLiteral("trailscan-browser-start%1.png").arg(suffix)));
    scripted.chooser.answer(sample);
    auto* forward = browser.findChild<QPushButton*>(QStringLiteral("Command1"));
    QTest::mouseClick(forward, Qt::LeftButton);
    QTest::mouseClick(forward, Qt::LeftButton);
    QTest::qWait(50);
    browser.grab().save(out.filePath(QStringLiteral("trailscan-browser%1.png").arg(suffix)));
    return 0;
}
