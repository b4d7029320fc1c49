// trailscan: opens its search window; Ctrl+B there shows the record browser. With --search it
// writes one report to standard output instead, without a window or a display.
#include <QApplication>
#include <QCommandLineParser>
#include <QPointer>

#include "forms/fonts.h"
#include "forms/platform.h"
#include "trailscan/app/memory.h"
#include "trailscan/app/search_command.h"
#include "trailscan/app/version.h"
#include "trailscan/browser/browser_window.h"
#include "trailscan/search/search_window.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// The search from a terminal, when the words ask for it; nothing otherwise.
std::optional<int> searchFromTerminal(int argc, char** argv) {
    std::vector<std::string> words;
    std::vector<std::u16string> typed;
    for (int i = 1; i < argc; ++i) {
        words.emplace_back(argv[i]);
        typed.push_back(QString::fromLocal8Bit(argv[i]).toStdU16String());
    }
    std::string error;
    const auto command = trailscan::app::parseSearchCommand(words, typed, error);
    if (!command) {
        return std::nullopt;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "trailscan: %s\n", error.c_str());
        return trailscan::app::kExitTrouble;
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
    const bool terminal = _isatty(_fileno(stderr)) != 0;
#else
    const bool terminal = isatty(fileno(stderr)) != 0;
#endif
    return trailscan::app::runSearchCommand(*command, stdout, stderr, terminal);
}

QCommandLineParser& parser() {
    static QCommandLineParser parser;
    return parser;
}

// Fills the parser and processes the words, which answers --help and --version.
void describeCommandLine(QCommandLineParser& parser) {
    QCoreApplication::setApplicationName(QStringLiteral("trailscan"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(trailscan::app::kVersion));
    parser.setApplicationDescription(
        QStringLiteral("Opens a Web proxy log and searches its records."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("The log to open, plain or compressed (.gz)."),
                                 QStringLiteral("[FILE]"));
    parser.addOption(QCommandLineOption(
        QStringLiteral("search"),
        QString::fromLatin1(trailscan::app::kSearchCommandHelp.data(),
                            static_cast<qsizetype>(trailscan::app::kSearchCommandHelp.size())),
        QStringLiteral("FIELD TEXT PATH...")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("table"),
        QStringLiteral("With --search: only the first 5001 records, the report of \"Go !\".")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("regex"),
        QStringLiteral("With --search: TEXT is a regular expression, matched anywhere in a field; "
                       "(?i) in front for any case.")));
    parser.process(*QCoreApplication::instance());
}

}  // namespace

int main(int argc, char** argv) {
    if (const auto status = searchFromTerminal(argc, argv)) {
        return *status;
    }
    // --help and --version answer without a display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--help" || word == "-h" || word == "-?" || word == "--version" ||
            word == "-v") {
            QCoreApplication app(argc, argv);
            describeCommandLine(parser());
            return 0;
        }
    }
    QApplication app(argc, argv);
    trailscan::app::keepLargeBlocks();
    forms::installFontSubstitutions();
    QCommandLineParser& words = parser();
    describeCommandLine(words);

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
    if (!words.positionalArguments().isEmpty()) {
        // Opened as if the first dialog had returned the path, made absolute from here.
        searchWindow.openGiven(words.positionalArguments().constFirst());
    }
    const int status = QApplication::exec();
    delete browser.data();
    return status;
}
