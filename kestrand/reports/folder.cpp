#include "kestrand/reports/folder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include "kestrand/reports/text.h"

namespace kestrand::reports {

namespace {

using Identity = std::pair<dev_t, ino_t>;

struct Walk {
    FolderListing listing;
    std::set<Identity> folders;  // folders entered: a link loop is not followed again
    std::set<Identity> files;    // files listed: a file reached twice is read once
};

void addRow(Walk& walk, const std::filesystem::path& path, const std::string& relative,
            bool compressed, std::string error) {
    FoundFile row;
    row.path = path;
    row.relative = relative;
    row.compressed = compressed;
    row.error = std::move(error);
    walk.listing.files.push_back(std::move(row));
}

void walkFolder(Walk& walk, const std::filesystem::path& folder, const std::string& prefix) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        addRow(walk, folder, prefix, false,
               std::string("cannot open the folder: ") + std::strerror(errno));
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());

    for (const std::string& name : names) {
        const std::filesystem::path path = folder / name;
        const std::string relative = prefix + name;
        bool compressed = false;
        const bool logName = isLogName(name, compressed);
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0) {
            if (logName) {
                addRow(walk, path, relative, compressed,
                       std::string("cannot read: ") + std::strerror(errno));
            }
            continue;
        }
        if (S_ISLNK(info.st_mode) && stat(path.c_str(), &info) != 0) {
            if (logName) {
                addRow(walk, path, relative, compressed,
                       std::string("a link that leads nowhere: ") + std::strerror(errno));
            }
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            if (logName) {
                addRow(walk, path, relative, compressed,
                       "a folder, not a file (its files are read as a sub-folder)");
            }
            if (walk.folders.insert({info.st_dev, info.st_ino}).second) {
                walkFolder(walk, path, relative + "/");
            }
            continue;
        }
        if (!logName) {
            ++walk.listing.otherFiles;
            continue;
        }
        if (S_ISFIFO(info.st_mode)) {
            addRow(walk, path, relative, compressed, "a named pipe (FIFO), not opened");
            continue;
        }
        if (!S_ISREG(info.st_mode)) {
            addRow(walk, path, relative, compressed, "not a regular file");
            continue;
        }
        if (!walk.files.insert({info.st_dev, info.st_ino}).second) {
            addRow(walk, path, relative, compressed, "the same file as one listed before");
            continue;
        }
        FoundFile row;
        row.path = path;
        row.relative = relative;
        row.compressed = compressed;
        row.size = static_cast<std::uint64_t>(info.st_size);
        walk.listing.files.push_back(std::move(row));
    }
}

}  // namespace

bool isLogName(const std::string& name, bool& compressed) {
    compressed = endsWithNoCase(name, ".log.gz");
    return compressed || endsWithNoCase(name, ".log");
}

FolderListing listFolder(const std::filesystem::path& folder) {
    Walk walk;
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) {
        walk.listing.error =
            "cannot read the folder " + folder.string() + ": " + std::strerror(errno);
        return std::move(walk.listing);
    }
    if (!S_ISDIR(info.st_mode)) {
        walk.listing.error = folder.string() + " is not a folder";
        return std::move(walk.listing);
    }
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        walk.listing.error =
            "cannot read the folder " + folder.string() + ": " + std::strerror(errno);
        return std::move(walk.listing);
    }
    closedir(dir);
    walk.folders.insert({info.st_dev, info.st_ino});
    walkFolder(walk, folder, "");
    return std::move(walk.listing);
}

}  // namespace kestrand::reports
