#include "trailscan/app/search_command.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#include "common/code_pages.h"
#include "common/number_text.h"
#include "trailscan/log/channel.h"
#include "trailscan/log/file_io.h"
#include "trailscan/scan/whole_log.h"
#include "trailscan/table/record_table.h"
#include "trailscan/table/searches.h"

namespace trailscan::app {

using scan::kBadWholeLogRecordNumber;
using scan::ScanControl;
using scan::ScanEnd;
using scan::ScanOutcome;
using scan::WholeLogQuery;
using table::kBadRecordNumber;
using table::kLineBreak;
using table::LoadOutcome;
using table::parseRecordNumber;
using table::RecordTable;
using table::runSearch;
using table::Selector;
using table::SelectorKind;

namespace {

// The seven field buttons by the words the command takes for them.
constexpr std::array<std::pair<std::string_view, Selector>, 7> kFields = {{
    {"user", Selector::forColumn(log::kColumnUser)},
    {"date", Selector::forColumn(log::kColumnDate)},
    {"time", Selector::forColumn(log::kColumnTime)},
    {"site", Selector::forColumn(log::kColumnSite)},
    {"ip", Selector::forColumn(log::kColumnIp)},
    {"all", Selector::allFields()},
    {"record", Selector::recordNumber()},
}};

std::optional<Selector> selectorFor(std::string_view field) {
    for (const auto& [word, selector] : kFields) {
        if (word == field) {
            return selector;
        }
    }
    return std::nullopt;
}

// Writes the report in large pieces and stops at the first write that fails. A closed pipe
// (where SIGPIPE does not end the program first) is the reader's choice and ends the report
// quietly; any other failure, a full disk say, is named.
class Output {
  public:
    explicit Output(std::FILE* out) : out_(out) {}
    // False once a write has failed.
    bool write(std::string_view bytes) {
        if (!failed_ && !bytes.empty() &&
            std::fwrite(bytes.data(), 1, bytes.size(), out_) != bytes.size()) {
            fail();
        }
        return !failed_;
    }
    // Hands on what the stream still buffers; false when that or an earlier write failed.
    bool finish() {
        if (!failed_ && std::fflush(out_) != 0) {
            fail();
        }
        return !failed_;
    }
    // Why the report was lost; empty for a closed pipe.
    const std::string& reason() const { return reason_; }

  private:
    void fail() {
        const int error = errno;
        failed_ = true;
        if (error != EPIPE) {
            reason_ = std::strerror(error != 0 ? error : EIO);
        }
    }

    std::FILE* out_;
    bool failed_ = false;
    std::string reason_;
};

int tableSearch(const SearchCommand& command, Selector selector, const std::string& text,
                Output& output, std::FILE* err) {
    log::Channel channel;
    if (auto error = channel.open(command.file)) {
        std::fprintf(err, "trailscan: %s: %s\n", command.file.c_str(), error->c_str());
        return kExitTrouble;
    }
    RecordTable table;
    const LoadOutcome loaded = table.load(channel, log::file_io::stampOf(channel.file()).size);
    std::string report;
    runSearch(table, selector, text, report);
    output.write(report);
    if (selector.kind == SelectorKind::RecordNumber) {
        const auto record = parseRecordNumber(text);
        return record && *record < loaded.records ? kExitFound : kExitNothing;
    }
    return report.empty() ? kExitNothing : kExitFound;
}

int search(const SearchCommand& command, Selector selector, Output& output, std::FILE* err,
           bool showProgress) {
    const auto encoded = common::encodeWindows1252(command.text);
    // A text the code page cannot hold matches no field; the file is still checked.
    const std::string text = encoded.value_or(std::string());
    if (!encoded) {
        std::string error;
        std::FILE* file = log::file_io::openRegularForReading(command.file, error);
        if (file == nullptr) {
            std::fprintf(err, "trailscan: %s: %s\n", command.file.c_str(), error.c_str());
            return kExitTrouble;
        }
        std::fclose(file);
        if (selector.kind == SelectorKind::RecordNumber) {
            // Not a number either: the heading as typed and the line that says so.
            output.write(command.typedBytes);
            output.write("= ");
            output.write(kLineBreak);
            output.write(kLineBreak);
            output.write(command.table ? kBadRecordNumber : kBadWholeLogRecordNumber);
            output.write(kLineBreak);
        }
        return kExitNothing;
    }
    if (command.table) {
        return tableSearch(command, selector, text, output, err);
    }
    WholeLogQuery query{selector, text};
    ScanControl control;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread progress;
    if (showProgress) {
        progress = std::thread([&] {
            std::unique_lock lock(mutex);
            while (!finished.wait_for(lock, std::chrono::milliseconds(250), [&] { return done; })) {
                std::fprintf(
                    err, "\rSearched %s\033[K",
                    common::sizeText(static_cast<std::uint64_t>(control.bytesDone.load())).c_str());
                std::fflush(err);
            }
            std::fprintf(err, "\r\033[K");
            std::fflush(err);
        });
    }
    const ScanOutcome outcome =
        searchWholeLog(command.file, nullptr, query, control, [&](std::string_view piece) {
            if (!output.write(piece)) {
                control.cancel = true;
            }
        });
    if (progress.joinable()) {
        {
            std::lock_guard lock(mutex);
            done = true;
        }
        finished.notify_all();
        progress.join();
    }
    if (outcome.end == ScanEnd::Unreadable) {
        std::fprintf(err, "trailscan: %s: %s\n", command.file.c_str(), outcome.error.c_str());
        return kExitTrouble;
    }
    if (outcome.end == ScanEnd::Changed) {
        std::fprintf(err, "trailscan: %s: the file changed while it was searched\n",
                     command.file.c_str());
        return kExitTrouble;
    }
    return outcome.matches > 0 ? kExitFound : kExitNothing;
}

}  // namespace

std::optional<SearchCommand> parseSearchCommand(const std::vector<std::string>& words,
                                                const std::vector<std::u16string>& typedWords,
                                                std::string& error) {
    const auto at = std::find(words.begin(), words.end(), "--search");
    if (at == words.end()) {
        return std::nullopt;
    }
    SearchCommand command;
    std::vector<std::size_t> operands;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (words[i] == "--table") {
            command.table = true;
        } else if (i != static_cast<std::size_t>(at - words.begin())) {
            operands.push_back(i);
        }
    }
    const auto first = static_cast<std::size_t>(at - words.begin()) + 1;
    if (operands.size() != 3 || operands[0] != first) {
        error =
            "--search takes FIELD TEXT FILE, for example: trailscan --search site example.com "
            "X3010214.log";
        return SearchCommand{};
    }
    command.field = words[operands[0]];
    command.text = typedWords[operands[1]];
    command.typedBytes = words[operands[1]];
    command.file = words[operands[2]];
    if (!selectorFor(command.field)) {
        error = "FIELD is one of user, date, time, site, ip, all, record; not \"" + command.field +
                "\".";
    }
    return command;
}

int runSearchCommand(const SearchCommand& command, std::FILE* out, std::FILE* err,
                     bool showProgress) {
    const auto selector = selectorFor(command.field);
    if (!selector) {
        std::fprintf(err, "trailscan: unknown FIELD \"%s\"\n", command.field.c_str());
        return kExitTrouble;
    }
    Output output(out);
    const int status = search(command, *selector, output, err, showProgress);
    if (!output.finish() && !output.reason().empty()) {
        std::fprintf(err, "trailscan: cannot write the report: %s\n", output.reason().c_str());
        return kExitTrouble;
    }
    return status;
}

}  // namespace trailscan::app
