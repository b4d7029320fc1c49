// kestrand: opens its main information window; the settings shortcut there shows the
// report settings dialog. On the command line, --report writes the reports of a log folder
// without a window; --help and --version answer as text.
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIcon>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/fonts.h"
#include "forms/platform.h"
#include "kestrand/app/report_command.h"
#include "kestrand/app/version.h"
#include "kestrand/info/main_window.h"
#include "kestrand/report_window/report_windows.h"

namespace {

// kestrand --report FOLDER [options] -o FILE, when the words ask for it: no QApplication, no
// display.
std::optional<int> reportFromTerminal(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    const auto command = kestrand::app::parseReportCommand(words);
    if (!command) {
        return std::nullopt;
    }
    return kestrand::app::runReportCommand(*command, stderr, isatty(STDERR_FILENO) != 0);
}

void nameTheProgram() {
    QCoreApplication::setApplicationName(QStringLiteral("kestrand"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kestrand::app::kVersion));
}

// Prints help or the version and exits where asked to; any other option is an error.
void processOptions(const QCoreApplication& app) {
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("ORVANE users information\n\n") +
                                      QString::fromUtf8(kestrand::app::kReportCommandHelp));
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
    if (const auto status = reportFromTerminal(argc, argv)) {
        return *status;
    }
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
    kestrand::report_window::ReportWindows reports(platform);
    kestrand::info::MainWindow window(platform, reports);
    QApplication::setWindowIcon(window.windowIcon());
    window.show();
    return app.exec();
}
