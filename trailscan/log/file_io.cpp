#include "trailscan/log/file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <io.h>
#include <sys/stat.h>
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace trailscan::log::file_io {

namespace fs = std::filesystem;

namespace {
constexpr const char* kNotRegular =
    "It is not a regular file (a device, pipe or socket cannot be read as a log).";
}  // namespace

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
        error = kNotRegular;
        return nullptr;
    }
    errno = 0;
#ifdef _WIN32
    std::FILE* file = _wfopen(path.c_str(), L"rb");
#else
    // The name may have been replaced by a FIFO or a device since the look above: open
    // without waiting for a writer and look again at what was really opened.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    std::FILE* file = nullptr;
    if (descriptor >= 0) {
        struct stat opened {};
        if (::fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(descriptor);
            error = kNotRegular;
            return nullptr;
        }
        ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
        file = ::fdopen(descriptor, "rb");
        if (file == nullptr) {
            const int saved = errno;
            ::close(descriptor);
            errno = saved;
        }
    }
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

std::int64_t readAt(std::FILE* file, std::int64_t offset, char* into, std::size_t size) {
    std::size_t done = 0;
#ifdef _WIN32
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    while (done < size) {
        const std::int64_t at = offset + static_cast<std::int64_t>(done);
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(at) & 0xFFFFFFFFu);
        where.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(at) >> 32);
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(handle, into + done, want, &got, &where)) {
            if (GetLastError() == ERROR_HANDLE_EOF) {
                break;
            }
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
#else
    while (done < size) {
        const auto at = static_cast<off_t>(offset + static_cast<std::int64_t>(done));
        const ssize_t got = ::pread(::fileno(file), into + done, size - done, at);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
#endif
    return static_cast<std::int64_t>(done);
}

FileStamp stampOf(std::FILE* file) {
#ifdef _WIN32
    struct _stat64 info {};
    if (_fstat64(_fileno(file), &info) != 0) {
        return {};
    }
    return {static_cast<std::int64_t>(info.st_size),
            static_cast<std::int64_t>(info.st_mtime) * 1'000'000'000, 0, 0};
#else
    struct stat info {};
    if (::fstat(::fileno(file), &info) != 0) {
        return {};
    }
#ifdef __APPLE__
    const struct timespec& modified = info.st_mtimespec;
#else
    const struct timespec& modified = info.st_mtim;
#endif
    return {static_cast<std::int64_t>(info.st_size),
            static_cast<std::int64_t>(modified.tv_sec) * 1'000'000'000 + modified.tv_nsec,
            static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
#endif
}

}  // namespace trailscan::log::file_io
