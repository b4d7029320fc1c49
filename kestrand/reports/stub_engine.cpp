// Stand-in for the report engine: counts the .log files of the folder and their lines, and
// answers every report with a fixed sample.
#include <cctype>
#include <fstream>
#include <system_error>

#include "kestrand/reports/engine.h"

namespace kestrand::reports {

namespace {
bool isLog(const std::filesystem::path& file) {
    std::string name = file.filename().string();
    for (char& c : name) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return name.size() > 4 && name.ends_with(".log");
}
}  // namespace

std::optional<Day> parseDay(const std::string& text) {
    int y = 0, m = 0, d = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    try {
        y = std::stoi(text.substr(0, 4));
        m = std::stoi(text.substr(5, 2));
        d = std::stoi(text.substr(8, 2));
    } catch (...) {
        return std::nullopt;
    }
    if (m < 1 || m > 12 || d < 1 || d > 31) {
        return std::nullopt;
    }
    return y * 10000 + m * 100 + d;
}

Result run(const Options& options, const Control& control) {
    Result result;
    std::error_code error;
    if (!std::filesystem::is_directory(options.folder, error)) {
        result.error = "not a folder: " + options.folder.string();
        return result;
    }
    std::vector<std::filesystem::path> files;
    Progress progress;
    for (std::filesystem::recursive_directory_iterator it(options.folder, error), end;
         !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error) && isLog(it->path())) {
            files.push_back(it->path());
            progress.bytesTotal += it->file_size(error);
        }
    }
    progress.filesTotal = files.size();
    for (const auto& file : files) {
        if (control.cancel != nullptr && control.cancel->load()) {
            result.cancelled = true;
            return result;
        }
        std::ifstream in(file, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            ++result.totals.requests;
            result.totals.bytes += line.size();
        }
        progress.bytesRead += std::filesystem::file_size(file, error);
        ++progress.filesRead;
        if (control.progress) {
            control.progress(progress);
        }
    }
    result.totals.addresses = result.totals.requests > 0 ? 3 : 0;
    return result;
}

std::string writeJson(const Result& result) {
    const std::string requests = std::to_string(result.totals.requests);
    return R"({"generator":"kestrand stub","folder":"samples","home_country":"IR",
"period":{"first":"2001-02-14 08:00:00","last":"2001-02-15 17:30:00"},
"files":[{"path":"a.log","layout":"comma-samples","lines":12,"requests":)" +
           requests + R"(,"proxy_requests":1,"skipped":2,"skipped_lines":[3,9],"error":null},
{"path":"bad.log","layout":"w3c","lines":0,"requests":0,"proxy_requests":0,"skipped":0,"skipped_lines":[],"error":"binary file"}],
"totals":{"requests":)" +
           requests + R"(,"bytes":4580000,"addresses":3},
"addresses":[{"address":"10.0.0.5","requests":6,"bytes":3500000,"users":["ali","<script>alert(1)</script>"],"first":"2001-02-14 08:00:00","last":"2001-02-15 17:30:00"},
{"address":"10.0.0.7","requests":3,"bytes":1000000,"users":["reza"],"first":"2001-02-14 09:10:00","last":"2001-02-14 11:00:00"},
{"address":"10.0.0.9","requests":1,"bytes":80000,"users":[],"first":"2001-02-15 10:00:00","last":"2001-02-15 10:00:00"}],
"windows":[{"name":"Windows 98","addresses":2,"requests":7},{"name":"Windows XP","addresses":1,"requests":3}],
"browsers":[{"name":"IE 6","addresses":2,"requests":6},{"name":"Firefox \"45\" \u202Egnp.exe","addresses":1,"requests":4}],
"hours":[)" +
           [] {
               std::string hours;
               for (int h = 0; h < 24; ++h) {
                   hours += (h ? "," : "") + std::string(R"({"hour":)") + std::to_string(h) +
                            R"(,"requests":)" + std::to_string(h >= 8 && h <= 17 ? h - 6 : 0) +
                            R"(,"bytes":)" + std::to_string(h >= 8 && h <= 17 ? 1000 * h : 0) +
                            R"(,"addresses":)" + std::to_string(h >= 8 && h <= 17 ? 2 : 0) + "}";
               }
               return hours;
           }() +
           R"(],
"weekdays":[[0,0,0,0,0,0,0,0,1,2,3,4,0,0,0,0,0,0,0,0,0,0,0,0],[0,0,0,0,0,0,0,0,0,0,5,0,0,0,0,0,0,1,0,0,0,0,0,0],[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0],[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0],[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0],[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0],[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]],
"sites":[{"host":"www.google.com","requests":5,"pages":3,"bytes":2000000,"addresses":2},{"host":"example.ir","requests":4,"pages":2,"bytes":2500000,"addresses":1}],
"pages":[{"page":"http://example.ir/index.html","views":2},{"page":"http://www.google.com/search","views":3}],
"country":{"home":"IR","inside":{"requests":4,"bytes":2500000},"outside":{"requests":5,"bytes":2000000},"local":{"requests":1,"bytes":80000},"unknown":{"requests":0,"bytes":0},
"addresses":[{"address":"10.0.0.5","inside":{"requests":3,"bytes":2000000},"outside":{"requests":3,"bytes":1500000},"local":{"requests":0,"bytes":0},"unknown":{"requests":0,"bytes":0}}]},
"searches":{"total":4,"engines":[{"engine":"Google","searches":3},{"engine":"Parsijoo","searches":1}],"addresses":[{"address":"10.0.0.5","searches":4}],
"phrases":[{"phrase":"کتاب","searches":2},{"phrase":"weather <b>tehran</b>","searches":2}]}}
)";
}

std::string writeCsv(const Result& result) {
    return "totals\nrequests," + std::to_string(result.totals.requests) + "\n";
}

}  // namespace kestrand::reports
