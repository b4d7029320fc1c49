#include "trailscan/log/file_io.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace trailscan::log::file_io {

namespace fs = std::filesystem;

std::FILE* openRegularForReading(const fs::path& path, std::string& error) {
    std::error_code code;
    const auto status = fs::status(path, code);
    if (code || !fs::exists(status)) {
        error = "The file does not exist.";
        return nullptr;
    }
    if (fs::is_directory(status)) {
        error = "It is a folder, not a file.";
        return nullptr;
    }
    if (!fs::is_regular_file(status)) {
        error = "It is not a regular file (a device, pipe or socket cannot be read as a log).";
        return nullptr;
    }
    errno = 0;
#ifdef _WIN32
    std::FILE* file = _wfopen(path.c_str(), L"rb");
#else
    std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
    if (file == nullptr) {
        const int saved = errno;
        error = saved == EACCES ? std::string("Permission denied.")
                                : std::string(std::strerror(saved != 0 ? saved : EIO)) + ".";
        return nullptr;
    }
    // The channel keeps a buffer of its own.
    std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

bool seekTo(std::FILE* file, std::int64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, offset, SEEK_SET) == 0;
#else
    static_assert(sizeof(off_t) >= 8, "large files need a 64-bit off_t");
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

}  // namespace trailscan::log::file_io
