#pragma once

// The files of a report folder: every .log and .log.gz below it, links followed once.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrand::reports {

struct FoundFile {
    std::filesystem::path path;  // as reached from the folder
    std::string relative;        // '/' between names
    std::uint64_t size = 0;
    bool compressed = false;
    std::optional<std::string> error;  // set when the file is not to be read
};

struct FolderListing {
    std::string error;  // the folder itself cannot be read
    std::vector<FoundFile> files;
    std::uint64_t otherFiles = 0;
};

// ".log" or ".log.gz" in any case.
bool isLogName(const std::string& name, bool& compressed);

FolderListing listFolder(const std::filesystem::path& folder);

}  // namespace kestrand::reports
