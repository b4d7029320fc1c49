// trailscan: opens its search window; Ctrl+B there shows the record browser.
#include <QApplication>
#include <QCommandLineParser>
#include <QPointer>

#include "forms/fonts.h"
#include "forms/platform.h"
#include "trailscan/browser/browser_window.h"
#include "trailscan/search/memory.h"
#include "trailscan/search/search_window.h"
#include "trailscan/version.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    trailscan::search::keepLargeBlocks();
    QApplication::setApplicationName(QStringLiteral("trailscan"));
    QApplication::setApplicationVersion(QString::fromLatin1(trailscan::kVersion));
    forms::installFontSubstitutions();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Opens a Web proxy log and searches its records."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The log to open."),
                                 QStringLiteral("[FILE]"));
    parser.process(app);

    forms::Platform& platform = forms::desktopPlatform();
    trailscan::search::SearchWindow searchWindow(platform);
    QApplication::setWindowIcon(searchWindow.windowIcon());
    QPointer<trailscan::browser::BrowserWindow> browser;
    searchWindow.setBrowserOpener([&] {
        if (browser.isNull()) {
            browser = new trailscan::browser::BrowserWindow(platform);
            browser->setAttribute(Qt::WA_DeleteOnClose);
        }
        browser->show();
        browser->raise();
        browser->activateWindow();
    });
    searchWindow.show();
    if (!parser.positionalArguments().isEmpty()) {
        // Opened as if the first dialog had returned the path, made absolute from here.
        searchWindow.openGiven(parser.positionalArguments().constFirst());
    }
    const int status = QApplication::exec();
    delete browser.data();
    return status;
}
