#include "trailscan/app/search_command.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "common/code_pages.h"
#include "common/number_text.h"
#include "trailscan/folder/folder_search.h"
#include "trailscan/folder/log_folder.h"
#include "trailscan/log/channel.h"
#include "trailscan/log/file_io.h"
#include "trailscan/regex/field_pattern.h"
#include "trailscan/scan/whole_log.h"
#include "trailscan/table/record_table.h"
#include "trailscan/table/searches.h"

namespace trailscan::app {

using folder::LogEntry;
using scan::kBadWholeLogRecordNumber;
using scan::ScanControl;
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

// Prints "trailscan: PATH: reason" for each log that could not be searched.
void nameTrouble(std::FILE* err, std::string_view shown, std::string_view reason) {
    std::fprintf(err, "trailscan: %.*s: %.*s\n", static_cast<int>(shown.size()), shown.data(),
                 static_cast<int>(reason.size()), reason.data());
}

// The table's search of one log; false when the log could not be searched.
bool tableSearch(const LogEntry& log, Selector selector, const std::string& text,
                 const regex::FieldPattern* pattern, Output& output, std::FILE* err, bool& found) {
    log::Channel channel;
    if (auto error = channel.open(log.path)) {
        nameTrouble(err, log.shown, *error);
        return false;
    }
    RecordTable table;
    // The size only guides the table's loading; a compressed log's is not known before it is read.
    log::Source& source = *channel.source();
    const LoadOutcome loaded =
        table.load(channel, source.compressed() ? source.stamp().size : source.size());
    std::string report;
    std::uint64_t limited = 0;
    if (pattern != nullptr && selector.kind != SelectorKind::RecordNumber) {
        regex::FieldPattern::Matcher matcher(*pattern);
        const table::FieldTest test = [&](std::string_view field) {
            const regex::Verdict verdict = matcher.test(field);
            limited += verdict == regex::Verdict::Limit ? 1 : 0;
            return verdict == regex::Verdict::Yes;
        };
        if (selector.kind == SelectorKind::Column) {
            table::columnSearch(table, selector.column, test, report);
        } else {
            table::allFieldsSearch(table, test, report);
        }
    } else {
        runSearch(table, selector, text, report);
    }
    output.write(report);
    if (auto damage = source.damage()) {
        nameTrouble(err, log.shown, *damage + "; the records before it were searched");
        return false;
    }
    if (selector.kind == SelectorKind::RecordNumber) {
        const auto record = parseRecordNumber(text);
        found = found || (record && *record < loaded.records);
    } else {
        found = found || !report.empty();
    }
    if (limited > 0) {
        nameTrouble(err, log.shown,
                    "the regular expression passed its match limit in " + common::grouped(limited) +
                        (limited == 1 ? " field" : " fields") + ", taken as not matching");
        return false;
    }
    return true;
}

// Draws "Searched 1.2 GiB of 30.0 GiB" on standard error while the search runs.
class Progress {
  public:
    Progress(std::FILE* err, const ScanControl& control, std::int64_t total)
        : thread_([this, err, &control, total] {
              std::unique_lock lock(mutex_);
              while (!finished_.wait_for(lock, std::chrono::milliseconds(250),
                                         [&] { return done_; })) {
                  const auto searched = static_cast<std::uint64_t>(control.bytesDone.load());
                  std::fprintf(err, "\rSearched %s of %s\033[K", common::sizeText(searched).c_str(),
                               common::sizeText(static_cast<std::uint64_t>(total)).c_str());
                  std::fflush(err);
              }
              std::fprintf(err, "\r\033[K");
              std::fflush(err);
          }) {}
    ~Progress() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        finished_.notify_all();
        thread_.join();
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

  private:
    std::mutex mutex_;
    std::condition_variable finished_;
    bool done_ = false;
    std::thread thread_;
};

int search(const SearchCommand& command, Selector selector, Output& output, std::FILE* err,
           bool showProgress) {
    const auto encoded = common::encodeWindows1252(command.text);
    std::unique_ptr<regex::FieldPattern> pattern;
    if (command.regex) {
        std::string error;
        if (!encoded) {
            error =
                "The regular expression is not valid: it holds a character the log's code "
                "page does not have.";
        } else {
            pattern = regex::FieldPattern::compile(*encoded, error);
        }
        if (!pattern) {
            std::fprintf(err, "%s\n", error.c_str());
            return kExitTrouble;
        }
    }
    const folder::LogListing listing = folder::listLogs(command.paths);
    bool troubled = false;
    for (const auto& trouble : listing.troubles) {
        nameTrouble(err, trouble.shown, trouble.reason);
        troubled = troubled || trouble.failure;
    }
    const auto status = [&](bool found) {
        return troubled ? kExitTrouble : found ? kExitFound : kExitNothing;
    };
    const std::string text = encoded.value_or(std::string());
    if (!encoded || command.table) {
        // Log by log: the table's search, or a text the code page cannot hold, which matches
        // no field (each log is still checked).
        bool found = false;
        for (const LogEntry& log : listing.logs) {
            if (listing.headed) {
                output.write(folder::headingLine(log.shown));
            }
            if (command.table && encoded) {
                troubled = !tableSearch(log, selector, text, pattern.get(), output, err, found) ||
                           troubled;
            } else {
                std::string error;
                if (log::Source::open(log.path, error) == nullptr) {
                    nameTrouble(err, log.shown, error);
                    troubled = true;
                } else {
                    if (selector.kind == SelectorKind::RecordNumber) {
                        // Not a number either: the heading as typed and the line that says so.
                        output.write(command.typedBytes);
                        output.write("= ");
                        output.write(kLineBreak);
                        output.write(kLineBreak);
                        output.write(command.table ? kBadRecordNumber : kBadWholeLogRecordNumber);
                        output.write(kLineBreak);
                    }
                }
            }
            if (listing.headed) {
                output.write(kLineBreak);
            }
        }
        return status(found);
    }
    WholeLogQuery query{selector, text};
    query.pattern = pattern.get();
    ScanControl control;
    std::optional<Progress> progress;
    if (showProgress) {
        progress.emplace(err, control, folder::totalBytes(listing));
    }
    const folder::FolderOutcome outcome = folder::searchLogs(
        listing, query, control,
        [&](std::string_view piece) {
            if (!output.write(piece)) {
                control.cancel = true;
            }
        },
        [&](const LogEntry& log, const std::string& reason) {
            nameTrouble(err, log.shown, reason);
        });
    progress.reset();
    troubled = troubled || outcome.troubled > 0;
    return status(outcome.matches > 0);
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
        } else if (words[i] == "--regex") {
            command.regex = true;
        } else if (i != static_cast<std::size_t>(at - words.begin())) {
            operands.push_back(i);
        }
    }
    const auto first = static_cast<std::size_t>(at - words.begin()) + 1;
    if (operands.size() < 3 || operands[0] != first) {
        error =
            "--search takes FIELD TEXT PATH..., for example: trailscan --search site example.com "
            "X3010214.log";
        return SearchCommand{};
    }
    command.field = words[operands[0]];
    command.text = typedWords[operands[1]];
    command.typedBytes = words[operands[1]];
    for (std::size_t i = 2; i < operands.size(); ++i) {
        command.paths.push_back(words[operands[i]]);
    }
    if (!selectorFor(command.field)) {
        error = "FIELD is one of user, date, time, site, ip, all, record; not \"" + command.field +
                "\".";
    } else if (command.regex && command.field == "record") {
        error = "--regex does not go with FIELD record: a record number is not a pattern.";
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
