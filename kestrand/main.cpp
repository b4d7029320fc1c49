// kestrand: opens its main information window; the settings shortcut there shows the
// report settings dialog. The command line knows only --help and --version.
#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIcon>
#include <string_view>

#include "forms/fonts.h"
#include "forms/platform.h"
#include "kestrand/main_window.h"
#include "kestrand/version.h"

namespace {

void nameTheProgram() {
    QCoreApplication::setApplicationName(QStringLiteral("kestrand"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kestrand::kVersion));
}

// Prints help or the version and exits where asked to; any other option is an error.
void processOptions(const QCoreApplication& app) {
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("ORVANE users information"));
    options.addHelpOption();
    options.addVersionOption();
    options.process(app);
}

// Help and version are answered without a window, so they also work where there is no
// display.
bool asksOnlyForText(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--") {
            break;
        }
        if (argument == "-h" || argument == "--help" || argument == "-?" ||
            argument == "--help-all" || argument == "-v" || argument == "--version") {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (asksOnlyForText(argc, argv)) {
        QCoreApplication app(argc, argv);
        nameTheProgram();
        processOptions(app);
        return 0;
    }

    QApplication app(argc, argv);
    nameTheProgram();
    processOptions(app);
    forms::installFontSubstitutions();

    forms::Platform& platform = forms::desktopPlatform();
    kestrand::MainWindow window(platform);
    QApplication::setWindowIcon(window.windowIcon());
    window.show();
    return app.exec();
}
