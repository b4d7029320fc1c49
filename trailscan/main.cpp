// trailscan: opens its search window; Ctrl+B there shows the record browser.
#include <QApplication>
#include <QPointer>

#include "forms/fonts.h"
#include "forms/memory.h"
#include "forms/platform.h"
#include "trailscan/search/search_window.h"
#ifdef TRAILSCAN_HAS_BROWSER
#include "trailscan/browser/browser_window.h"
#endif

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    forms::keepLargeBlocks();
    QApplication::setApplicationName(QStringLiteral("trailscan"));
    QApplication::setApplicationVersion(QStringLiteral("2.0.0.0"));
    forms::installFontSubstitutions();

    forms::Platform& platform = forms::desktopPlatform();
    trailscan::search::SearchWindow searchWindow(platform);
    QApplication::setWindowIcon(searchWindow.windowIcon());
#ifdef TRAILSCAN_HAS_BROWSER
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
#endif
    searchWindow.show();
    const int status = QApplication::exec();
#ifdef TRAILSCAN_HAS_BROWSER
    delete browser.data();
#endif
    return status;
}
