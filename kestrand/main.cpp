#include <QApplication>
#include <QIcon>

#include "forms/fonts.h"
#include "forms/platform.h"
#include "kestrand/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrand"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.4"));
    forms::installFontSubstitutions();

    forms::Platform& platform = forms::desktopPlatform();
    kestrand::MainWindow window(platform);
    QApplication::setWindowIcon(window.windowIcon());
    window.show();
    return app.exec();
}
