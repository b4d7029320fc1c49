#include "kestrand/app/report_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

#include "common/number_text.h"
#include "kestrand/app/version.h"
#include "kestrand/report_window/web_page.h"
#include "kestrand/reports/summary.h"
#include "kestrand/reports/time_zone.h"

namespace kestrand::app {

namespace {

constexpr std::array<std::string_view, 14> kOptions{
    "--report", "--summary", "--kinds",   "--from",  "--to",       "--tz",         "--country",
    "--geoip",  "--address", "--threads", "--cache", "--no-cache", "--cache-size", "-o"};

// Options that take every word after them up to the next option.
bool takesPaths(std::string_view name) { return name == "--report" || name == "--summary"; }
// Options that take no value.
bool isFlag(std::string_view name) { return name == "--no-cache"; }

// "1G", "512M", "64K" or bytes; nothing for another text.
std::optional<std::uint64_t> parseSize(const std::string& text) {
    if (text.empty() || text.size() > 16) {
        return std::nullopt;
    }
    std::size_t digits = 0;
    std::uint64_t value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        value = value * 10 + static_cast<std::uint64_t>(text[digits] - '0');
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    const std::string unit = text.substr(digits);
    int shift = 0;
    if (unit == "K" || unit == "k" || unit == "KiB") {
        shift = 10;
    } else if (unit == "M" || unit == "MiB") {
        shift = 20;
    } else if (unit == "G" || unit == "GiB") {
        shift = 30;
    } else if (!unit.empty()) {
        return std::nullopt;
    }
    if (value > (~std::uint64_t{0} >> shift)) {
        return std::nullopt;
    }
    return value << shift;
}

// Words that ask for the help or the version: those are answered instead of a report.
constexpr std::array<std::string_view, 6> kTextOnly{"-h",         "--help", "-?",
                                                    "--help-all", "-v",     "--version"};

bool isOption(std::string_view word) {
    return std::find(kOptions.begin(), kOptions.end(), word) != kOptions.end();
}

// The option a word names, alone or as NAME=VALUE; empty when it names none.
std::string_view optionOf(std::string_view word) {
    return isOption(word.substr(0, word.find('='))) ? word.substr(0, word.find('='))
                                                    : std::string_view();
}

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The report kinds of "0,3,5"; nothing when the text is not such a list.
std::optional<std::array<bool, reports::kKindCount>> parseKinds(const std::string& text) {
    std::array<bool, reports::kKindCount> kinds{};
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view item = std::string_view(text).substr(start, comma - start);
        if (item.size() != 1 || item[0] < '0' || item[0] >= '0' + reports::kKindCount) {
            return std::nullopt;
        }
        kinds[static_cast<std::size_t>(item[0] - '0')] = true;
        start = comma + 1;
    }
    return kinds;
}

// Sets the option's value in the command; the reason when the value does not fit.
std::optional<std::string> setOption(std::string_view name, const std::string& value,
                                     ReportCommand& command, bool& haveFolder) {
    reports::Options& options = command.options;
    if (name == "--report" || name == "--summary") {
        if (haveFolder && command.summary != (name == "--summary")) {
            return std::string("--report and --summary cannot go together");
        }
        command.summary = name == "--summary";
        if (!haveFolder) {
            options.folder = value;
        } else {
            options.more.emplace_back(value);
        }
        haveFolder = true;
    } else if (name == "--cache") {
        options.cache = value;
        command.cacheChosen = true;
    } else if (name == "--no-cache") {
        options.cache.clear();
        command.cacheChosen = true;
        command.noCache = true;
    } else if (name == "--cache-size") {
        const std::optional<std::uint64_t> size = parseSize(value);
        if (!size) {
            return "--cache-size takes bytes, or a number with K, M or G, not " + value;
        }
        options.cacheBytes = *size;
    } else if (name == "-o") {
        command.output = value;
    } else if (name == "--kinds") {
        const auto kinds = parseKinds(value);
        if (!kinds) {
            return "--kinds takes numbers 0 to 6 separated by commas, not " + value;
        }
        options.kinds = *kinds;
    } else if (name == "--from" || name == "--to") {
        const std::optional<reports::Day> day = reports::parseDay(value);
        if (!day) {
            return std::string(name) + " takes a day as YYYY-MM-DD, not " + value;
        }
        (name == "--from" ? options.from : options.to) = day;
    } else if (name == "--tz") {
        std::string why;
        if (!reports::TimeZone::named(value, why)) {
            return "--tz takes a time zone of the tz database such as Asia/Tehran or UTC, not " +
                   value;
        }
        options.timeZone = value;
    } else if (name == "--country") {
        if (value.size() != 2 || !isLetter(value[0]) || !isLetter(value[1])) {
            return "--country takes a two-letter country code, not " + value;
        }
        options.homeCountry = value;
    } else if (name == "--geoip") {
        options.geoip = value;
    } else if (name == "--address") {
        options.onlyAddress = value;
    } else if (name == "--threads") {
        if (value.find_first_not_of("0123456789") != std::string::npos || value.size() > 3) {
            return "--threads takes a number of workers, not " + value;
        }
        options.threads = static_cast<unsigned>(std::stoul(value));
    }
    return std::nullopt;
}

std::string lowerExtension(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return extension;
}

// The reason why the words are wrong; empty when they are not.
std::string readWords(const std::vector<std::string>& words, ReportCommand& command) {
    bool haveFolder = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        const std::string_view name = optionOf(word);
        if (name.empty()) {
            return (word.starts_with("-") ? "unknown option " : "unexpected argument ") + word;
        }
        if (isFlag(name)) {
            if (name.size() < word.size()) {
                return std::string(name) + " takes no value";
            }
            setOption(name, {}, command, haveFolder);
            continue;
        }
        std::string value;
        if (name.size() < word.size()) {
            value = word.substr(name.size() + 1);
        } else if (i + 1 < words.size() && optionOf(words[i + 1]).empty()) {
            value = words[++i];
        }
        if (value.empty()) {
            return std::string(name) + " needs a value";
        }
        if (auto why = setOption(name, value, command, haveFolder)) {
            return *why;
        }
        // A folder or summary file after the first.
        while (takesPaths(name) && i + 1 < words.size() && optionOf(words[i + 1]).empty()) {
            if (auto why = setOption(name, words[++i], command, haveFolder)) {
                return *why;
            }
        }
    }
    if (!haveFolder) {
        return "--report FOLDER is needed";
    }
    if (command.noCache && !command.options.cache.empty()) {
        return "--cache and --no-cache cannot go together";
    }
    if (!command.cacheChosen) {
        command.options.cache = reports::defaultCacheFolder();
    }
    if (command.output.empty()) {
        return "-o FILE is needed";
    }
    const std::string extension = lowerExtension(command.output);
    if (command.summary) {
        if (extension != ".kestrand") {
            return "-o FILE of --summary must end in .kestrand, not " + command.output.string();
        }
        command.kind = ReportOutput::Summary;
    } else if (extension == ".json") {
        command.kind = ReportOutput::Json;
    } else if (extension == ".csv") {
        command.kind = ReportOutput::Csv;
    } else if (extension == ".html") {
        command.kind = ReportOutput::Html;
    } else {
        return "-o FILE must end in .json, .csv or .html, not " + command.output.string();
    }
    const reports::Options& options = command.options;
    if (options.from && options.to && *options.from > *options.to) {
        return "--from comes after --to";
    }
    return {};
}

// Why nothing can be written to `file`, found before the run so that a long run does not end
// in vain; nothing when it can be. Nothing is created or changed.
std::optional<std::string> cannotWrite(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            return std::strerror(EISDIR);
        }
        const int fd = ::open(file.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return std::strerror(errno);
        }
        ::close(fd);
        return std::nullopt;
    }
    if (errno != ENOENT) {
        return std::strerror(errno);
    }
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    if (::stat(folder.c_str(), &info) != 0) {
        return std::strerror(errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return std::strerror(ENOTDIR);
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return std::strerror(errno);
    }
    return std::nullopt;
}

std::optional<std::string> writeText(const std::filesystem::path& file, const std::string& text) {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (out == nullptr) {
        return std::strerror(errno);
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    const int writeError = errno;
    if (std::fclose(out) != 0 || !written) {
        return std::strerror(written ? errno : writeError);
    }
    return std::nullopt;
}

// The web page is the report window's; its error names the file and the reason.
bool writeHtmlOutput(const reports::Result& result, const std::filesystem::path& out,
                     std::string& error) {
    return report_window::writeHtmlReport(result, out, error);
}

// The output as the command asks for it; the whole message when it cannot be written.
std::optional<std::string> writeOutput(const ReportCommand& command,
                                       const reports::Result& result) {
    if (command.kind == ReportOutput::Html) {
        std::string error;
        if (!writeHtmlOutput(result, command.output, error)) {
            return error;
        }
        return std::nullopt;
    }
    const std::string text =
        command.kind == ReportOutput::Json ? reports::writeJson(result) : reports::writeCsv(result);
    if (auto why = writeText(command.output, text)) {
        return "cannot write " + command.output.string() + ": " + *why;
    }
    return std::nullopt;
}

// Why a run read no request.
std::string nothingRead(const ReportCommand& command, const reports::Result& result) {
    if (result.files.empty()) {
        return "the folder holds no .log or .log.gz file";
    }
    const reports::Options& options = command.options;
    if (options.from || options.to || !options.onlyAddress.empty()) {
        return "no request matches the period or address asked for";
    }
    const bool allFailed =
        std::all_of(result.files.begin(), result.files.end(),
                    [](const reports::FileRow& file) { return file.error.has_value(); });
    if (allFailed) {
        return "no file could be read (see the files list in " + command.output.string() + ")";
    }
    return "no request could be read";
}

std::string sizeText(double bytes) { return common::sizeText(static_cast<std::uint64_t>(bytes)); }

// The progress line on a terminal: bytes read of the total, files, rate and time left.
class ProgressLine {
  public:
    explicit ProgressLine(std::FILE* err) : err_(err), start_(std::chrono::steady_clock::now()) {}
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
        std::fprintf(err_, "\r%s of %s, %zu of %zu files, %s/s, %s left   ",
                     sizeText(static_cast<double>(progress.bytesRead)).c_str(),
                     sizeText(static_cast<double>(progress.bytesTotal)).c_str(), progress.filesRead,
                     progress.filesTotal, sizeText(rate).c_str(), left.c_str());
        std::fflush(err_);
        shown_ = true;
    }
    void end() {
        if (shown_) {
            std::fputc('\n', err_);
        }
    }

  private:
    std::FILE* err_;
    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    bool shown_ = false;
};

}  // namespace

std::vector<std::string_view> reportOptionNames() { return {kOptions.begin(), kOptions.end()}; }

std::optional<ReportCommand> parseReportCommand(const std::vector<std::string>& words) {
    const auto isTextOnly = [](const std::string& word) {
        return std::find(kTextOnly.begin(), kTextOnly.end(), word) != kTextOnly.end();
    };
    const auto isReportWord = [](const std::string& word) { return !optionOf(word).empty(); };
    if (std::any_of(words.begin(), words.end(), isTextOnly) ||
        std::none_of(words.begin(), words.end(), isReportWord)) {
        return std::nullopt;
    }
    ReportCommand command;
    command.options.generator = std::string("kestrand ") + kVersion;
    command.error = readWords(words, command);
    return command;
}

int runReportCommand(const ReportCommand& command, std::FILE* err, bool showProgress) {
    if (!command.error.empty()) {
        std::fprintf(err, "kestrand: %s\nSee kestrand --help.\n", command.error.c_str());
        return kExitBadArguments;
    }
    if (auto why = cannotWrite(command.output)) {
        std::fprintf(err, "kestrand: cannot write %s: %s\n", command.output.c_str(), why->c_str());
        return kExitBadArguments;
    }

    ProgressLine line(err);
    reports::Control control;
    if (showProgress) {
        control.progress = [&line](const reports::Progress& progress) { line.show(progress); };
    }
    if (command.kind == ReportOutput::Summary) {
        std::string error;
        reports::Summary written;
        const bool ok =
            reports::writeSummary(command.options, control, command.output, error, &written);
        line.end();
        if (!ok) {
            std::fprintf(err, "kestrand: %s\n", error.c_str());
            return error.starts_with("cannot write") ? kExitBadArguments : kExitNothingRead;
        }
        const bool anyPart =
            std::any_of(written.files.begin(), written.files.end(),
                        [](const reports::SummaryFile& file) { return !file.parts.empty(); });
        if (!anyPart) {
            std::fprintf(err, "kestrand: the summary holds no request\n");
            return kExitNothingRead;
        }
        return kExitRead;
    }
    const reports::Result result = reports::run(command.options, control);
    line.end();
    if (!result.cacheNote.empty()) {
        std::fprintf(err, "kestrand: note: %s\n", result.cacheNote.c_str());
    }
    if (!result.error.empty()) {
        std::fprintf(err, "kestrand: %s\n", result.error.c_str());
        return kExitNothingRead;
    }
    if (auto why = writeOutput(command, result)) {
        std::fprintf(err, "kestrand: %s\n", why->c_str());
        return kExitBadArguments;
    }
    if (result.totals.requests == 0) {
        std::fprintf(err, "kestrand: %s\n", nothingRead(command, result).c_str());
        return kExitNothingRead;
    }
    return kExitRead;
}

}  // namespace kestrand::app
