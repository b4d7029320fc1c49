// kestrand: opens its main information window; the settings shortcut there shows the
// report settings dialog. On the command line, --report writes the reports of a log folder
// without a window; --help and --version answer as text.
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIcon>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "forms/fonts.h"
#include "forms/platform.h"
#include "kestrand/app/version.h"
#include "kestrand/info/main_window.h"
#include "kestrand/report_window/report_windows.h"
#include "kestrand/report_window/web_page.h"
#include "kestrand/reports/engine.h"

namespace {

namespace reports = kestrand::reports;

constexpr char kReportHelp[] =
    "Reports without a window:\n"
    "  --report FOLDER     read every .log and .log.gz below FOLDER\n"
    "  --kinds 0,1,...     the reports: 0 addresses, 1 Windows versions, 2 browsers,\n"
    "                      3 hours, 4 pages, 5 traffic inside the country, 6 searches\n"
    "                      (default: all)\n"
    "  --from YYYY-MM-DD   only requests on or after that day\n"
    "  --to YYYY-MM-DD     only requests on or before that day\n"
    "  --country XX        the home country of report 5 (default IR)\n"
    "  --geoip FILE        another country database (.mmdb)\n"
    "  --address A         only the requests of client address A\n"
    "  --threads N         workers (default: one per core)\n"
    "  -o FILE             write FILE.json, FILE.csv or FILE.html\n"
    "Exit status: 0 when a request was read, 1 when none could be, 2 for bad arguments.\n"
    "\n"
    "Country data: the geo-whois-asn-country database of the ip-location-db project (CC0),\n"
    "built from the WHOIS and ASN data of the five regional Internet registries (AFRINIC,\n"
    "APNIC, ARIN, LACNIC, RIPE NCC), provided by the Number Resource Organization under\n"
    "CC BY 4.0 (nro.net).\n";

// The HTML page is written by the report window's layer, from the same JSON.
bool writeHtmlOutput(const std::string& json, const std::filesystem::path& out,
                     std::string& error) {
    return kestrand::report_window::writeHtmlReport(json, out, error);
}

bool isReportOption(std::string_view argument) {
    for (const std::string_view name : {"--report", "--kinds", "--from", "--to", "--country",
                                        "--geoip", "--address", "-o", "--threads"}) {
        if (argument == name || (argument.starts_with(name) && argument.size() > name.size() &&
                                 argument[name.size()] == '=')) {
            return true;
        }
    }
    return false;
}

bool wantsReport(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "-h" || argument == "--help" || argument == "-?" ||
            argument == "--help-all" || argument == "-v" || argument == "--version") {
            return false;
        }
    }
    for (int i = 1; i < argc; ++i) {
        if (isReportOption(argv[i])) {
            return true;
        }
    }
    return false;
}

int badArguments(const std::string& why) {
    std::fprintf(stderr, "kestrand: %s\nSee kestrand --help.\n", why.c_str());
    return 2;
}

std::string sizeText(double bytes) {
    const char* units[] = {"B", "KB", "MB", "GB", "TB"};
    int unit = 0;
    while (bytes >= 1000 && unit < 4) {
        bytes /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

// The progress line on a terminal: bytes read of the total, files, rate and time left.
class ProgressLine {
  public:
    ProgressLine() : start_(std::chrono::steady_clock::now()) {}
    void show(const reports::Progress& progress) {
        const std::lock_guard lock(mutex_);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const double rate = seconds > 0 ? static_cast<double>(progress.bytesRead) / seconds : 0;
        std::string left = "-";
        if (rate > 0 && progress.bytesTotal >= progress.bytesRead) {
            const auto remaining = static_cast<long long>(
                static_cast<double>(progress.bytesTotal - progress.bytesRead) / rate);
            left = std::to_string(remaining / 60) + " min " + std::to_string(remaining % 60) + " s";
        }
        std::fprintf(stderr, "\r%s of %s, %zu of %zu files, %s/s, %s left   ",
                     sizeText(static_cast<double>(progress.bytesRead)).c_str(),
                     sizeText(static_cast<double>(progress.bytesTotal)).c_str(), progress.filesRead,
                     progress.filesTotal, sizeText(rate).c_str(), left.c_str());
        std::fflush(stderr);
        shown_ = true;
    }
    void end() {
        if (shown_) {
            std::fputc('\n', stderr);
        }
    }

  private:
    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    bool shown_ = false;
};

// kestrand --report FOLDER [options] -o FILE: no QApplication, no display.
int runReport(int argc, char** argv) {
    reports::Options options;
    options.generator = std::string("kestrand ") + kestrand::app::kVersion;
    std::string output;
    bool haveFolder = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        std::string value;
        bool inlineValue = false;
        if (const auto equals = argument.find('=');
            argument.starts_with("-") && equals != std::string::npos) {
            value = argument.substr(equals + 1);
            argument = argument.substr(0, equals);
            inlineValue = true;
        }
        if (!isReportOption(argument)) {
            return badArguments("unknown option " + argument);
        }
        if (!inlineValue) {
            if (i + 1 >= argc) {
                return badArguments(argument + " needs a value");
            }
            value = argv[++i];
        }
        if (argument == "--report") {
            options.folder = value;
            haveFolder = true;
        } else if (argument == "-o") {
            output = value;
        } else if (argument == "--kinds") {
            options.kinds.fill(false);
            std::size_t start = 0;
            while (start <= value.size()) {
                const std::size_t comma = std::min(value.find(',', start), value.size());
                const std::string item = value.substr(start, comma - start);
                if (item.size() != 1 || item[0] < '0' || item[0] >= '0' + reports::kKindCount) {
                    return badArguments("--kinds takes numbers 0 to 6 separated by commas, not " +
                                        value);
                }
                options.kinds[static_cast<std::size_t>(item[0] - '0')] = true;
                start = comma + 1;
            }
        } else if (argument == "--from" || argument == "--to") {
            const std::optional<reports::Day> day = reports::parseDay(value);
            if (!day) {
                return badArguments(argument + " takes a day as YYYY-MM-DD, not " + value);
            }
            (argument == "--from" ? options.from : options.to) = day;
        } else if (argument == "--country") {
            if (value.size() != 2 || !std::isalpha(static_cast<unsigned char>(value[0])) ||
                !std::isalpha(static_cast<unsigned char>(value[1]))) {
                return badArguments("--country takes a two-letter country code, not " + value);
            }
            options.homeCountry = value;
        } else if (argument == "--geoip") {
            options.geoip = value;
        } else if (argument == "--address") {
            options.onlyAddress = value;
        } else if (argument == "--threads") {
            if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos ||
                value.size() > 3) {
                return badArguments("--threads takes a number, not " + value);
            }
            options.threads = static_cast<unsigned>(std::stoul(value));
        }
    }
    if (!haveFolder) {
        return badArguments("--report FOLDER is needed");
    }
    if (output.empty()) {
        return badArguments("-o FILE is needed");
    }
    std::string extension = std::filesystem::path(output).extension().string();
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (extension != ".json" && extension != ".csv" && extension != ".html") {
        return badArguments("-o FILE must end in .json, .csv or .html");
    }
    if (options.from && options.to && *options.from > *options.to) {
        return badArguments("--from comes after --to");
    }

    ProgressLine line;
    reports::Control control;
    if (isatty(STDERR_FILENO) != 0) {
        control.progress = [&line](const reports::Progress& progress) { line.show(progress); };
    }
    const reports::Result result = reports::run(options, control);
    line.end();
    if (!result.error.empty()) {
        std::fprintf(stderr, "kestrand: %s\n", result.error.c_str());
        return 1;
    }

    std::string error;
    bool written = false;
    if (extension == ".html") {
        written = writeHtmlOutput(reports::writeJson(result), output, error);
    } else {
        const std::string text =
            extension == ".json" ? reports::writeJson(result) : reports::writeCsv(result);
        std::ofstream file(output, std::ios::binary | std::ios::trunc);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
        file.close();
        written = static_cast<bool>(file);
        if (!written) {
            error = "cannot write " + output;
        }
    }
    if (!written) {
        std::fprintf(stderr, "kestrand: %s\n", error.c_str());
        return 1;
    }
    if (result.totals.requests == 0) {
        std::string why = "no request could be read";
        if (result.files.empty()) {
            why = "the folder holds no .log or .log.gz file";
        } else if (options.from || options.to || !options.onlyAddress.empty()) {
            why = "no request matches the period or address asked for";
        } else {
            std::size_t failed = 0;
            for (const reports::FileRow& file : result.files) {
                failed += file.error ? 1 : 0;
            }
            if (failed == result.files.size()) {
                why = "no file could be read (see the files list in " + output + ")";
            }
        }
        std::fprintf(stderr, "kestrand: %s\n", why.c_str());
        return 1;
    }
    return 0;
}

void nameTheProgram() {
    QCoreApplication::setApplicationName(QStringLiteral("kestrand"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kestrand::app::kVersion));
}

// Prints help or the version and exits where asked to; any other option is an error.
void processOptions(const QCoreApplication& app) {
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("ORVANE users information\n\n") +
                                      QString::fromUtf8(kReportHelp));
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
    if (wantsReport(argc, argv)) {
        return runReport(argc, argv);
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
