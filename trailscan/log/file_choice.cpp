#include "trailscan/log/file_choice.h"

namespace trailscan::log {

std::string openFailureMessage(const std::string& fileNameUtf8, const std::string& reason) {
    return "The log file cannot be opened:\n" + fileNameUtf8 + "\n\n" + reason;
}

}  // namespace trailscan::log
