#include "trailscan/folder/log_folder.h"

#include <algorithm>
#include <set>
#include <system_error>
#include <utility>

namespace trailscan::folder {

namespace fs = std::filesystem;

namespace {

bool endsWithNoCase(std::string_view text, std::string_view end) {
    if (text.size() < end.size()) {
        return false;
    }
    const std::string_view tail = text.substr(text.size() - end.size());
    return std::equal(tail.begin(), tail.end(), end.begin(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
}

std::string joined(const std::string& given, const std::string& inside) {
    if (given.empty() || given.back() == '/' || given.back() == fs::path::preferred_separator) {
        return given + inside;
    }
    return given + "/" + inside;
}

// The logs under one folder, by their path inside it.
class FolderWalk {
  public:
    FolderWalk(const std::string& given, LogListing& listing) : given_(given), listing_(listing) {}

    void walk(const fs::path& folder) {
        visit(folder, std::string());
        std::sort(found_.begin(), found_.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& [inside, entry] : found_) {
            listing_.logs.push_back(std::move(entry));
        }
    }

  private:
    // A folder inside as shown: its path without the '/' that ends it.
    std::string shownFolder(const std::string& inside) const {
        return inside.empty() ? given_ : joined(given_, inside.substr(0, inside.size() - 1));
    }

    void visit(const fs::path& folder, const std::string& inside) {
        std::error_code error;
        // Each folder once, however many links lead to it: a link loop ends here.
        const fs::path real = fs::canonical(folder, error);
        if (!error && !visited_.insert(real.generic_string()).second) {
            listing_.troubles.push_back(
                {shownFolder(inside), "a link to a folder already searched; searched once", false});
            return;
        }
        fs::directory_iterator it(folder, error);
        if (error) {
            listing_.troubles.push_back({shownFolder(inside), error.message()});
            return;
        }
        std::vector<std::pair<std::string, fs::path>> folders;
        for (const fs::directory_iterator end; it != end; it.increment(error)) {
            if (error) {
                listing_.troubles.push_back({shownFolder(inside), error.message()});
                break;
            }
            const fs::path& path = it->path();
            const std::string name = path.filename().string();
            const std::string here = inside + name;
            std::error_code statusError;
            const fs::file_status status = fs::status(path, statusError);
            if (statusError) {
                // A broken link or a link loop: named when it is named like a log.
                if (isLogName(name)) {
                    listing_.troubles.push_back({joined(given_, here), statusError.message()});
                }
                continue;
            }
            if (fs::is_directory(status)) {
                folders.emplace_back(here + "/", path);
            } else if (isLogName(name)) {
                if (!fs::is_regular_file(status)) {
                    listing_.troubles.push_back(
                        {joined(given_, here),
                         "not a regular file (a FIFO or a device); not opened"});
                    continue;
                }
                std::error_code sizeError;
                const auto size = fs::file_size(path, sizeError);
                found_.emplace_back(here,
                                    LogEntry{path, joined(given_, here),
                                             sizeError ? -1 : static_cast<std::int64_t>(size)});
            }
        }
        for (const auto& [here, path] : folders) {
            visit(path, here);
        }
    }

    const std::string& given_;
    LogListing& listing_;
    std::set<std::string> visited_;
    std::vector<std::pair<std::string, LogEntry>> found_;
};

}  // namespace

bool isLogName(std::string_view name) {
    return endsWithNoCase(name, ".log") || endsWithNoCase(name, ".log.gz");
}

LogListing listLogs(const std::vector<std::string>& paths) {
    LogListing listing;
    listing.headed = paths.size() > 1;
    for (const std::string& given : paths) {
        const fs::path path(given);
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        if (!error && fs::is_directory(status)) {
            listing.headed = true;
            FolderWalk(given, listing).walk(path);
            continue;
        }
        // Named by the user: searched whatever its name. The search names a path that is
        // missing or not a regular file, without opening anything but a regular file.
        std::error_code sizeError;
        const bool regular = !error && fs::is_regular_file(status);
        const auto size = regular ? fs::file_size(path, sizeError) : 0;
        listing.logs.push_back(
            {path, given, regular && !sizeError ? static_cast<std::int64_t>(size) : -1});
    }
    return listing;
}

std::int64_t totalBytes(const LogListing& listing) {
    std::int64_t total = 0;
    for (const LogEntry& log : listing.logs) {
        total += std::max<std::int64_t>(log.size, 0);
    }
    return total;
}

}  // namespace trailscan::folder
