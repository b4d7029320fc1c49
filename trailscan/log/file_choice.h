#pragma once

#include <string>

namespace trailscan::log {

// The open-file dialog both windows show to choose a log.
inline constexpr const char* kDialogTitle = "  Open trailscan file:";
inline constexpr const char* kDialogInitialFolder = "c:\\winnt\\system32\\";
inline constexpr const char* kDialogFilterAll = "All Files (*.*)";
inline constexpr const char* kDialogFilterLogs = "Proxy reports Files (*.log)";
inline constexpr const char* kDialogFilterCompressedLogs =
    "Compressed proxy reports Files (*.log.gz)";
// The dialog opens on the log filter.
inline constexpr int kDialogSelectedFilter = 1;

// A chosen name shorter than this ends the program (an empty name after a first Cancel).
inline constexpr std::size_t kShortestFileName = 5;

// Message for a log that cannot be opened: names the file and the reason.
std::string openFailureMessage(const std::string& fileNameUtf8, const std::string& reason);

}  // namespace trailscan::log
