#include "kestrand/cache/file_identity.h"

#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <cerrno>
#include <vector>

namespace kestrand::cache {

namespace {

void fromStat(const struct stat& info, FileIdentity& out) {
    out.device = static_cast<std::uint64_t>(info.st_dev);
    out.inode = static_cast<std::uint64_t>(info.st_ino);
    out.size = static_cast<std::uint64_t>(info.st_size);
    out.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                   static_cast<std::int64_t>(info.st_mtim.tv_nsec);
    out.changed = static_cast<std::int64_t>(info.st_ctim.tv_sec) * 1000000000 +
                  static_cast<std::int64_t>(info.st_ctim.tv_nsec);
}

bool hashRange(int fd, std::uint64_t from, std::uint64_t length, std::uint64_t& out) {
    std::vector<char> buffer(length);
    if (!readFully(fd, buffer.data(), length, from)) {
        return false;
    }
    out = XXH3_64bits(buffer.data(), buffer.size());
    return true;
}

}  // namespace

bool readFully(int fd, char* into, std::uint64_t size, std::uint64_t offset) {
    std::uint64_t have = 0;
    while (have < size) {
        const ssize_t n = ::pread(fd, into + have, size - have, static_cast<off_t>(offset + have));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        have += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool statIdentity(const std::filesystem::path& path, FileIdentity& out) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    fromStat(info, out);
    return true;
}

bool statIdentity(int fd, FileIdentity& out) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    fromStat(info, out);
    return true;
}

bool hashEnds(int fd, std::uint64_t size, FileIdentity& out) {
    const std::uint64_t span = std::min(size, kEndBytes);
    return hashRange(fd, 0, span, out.head) && hashRange(fd, size - span, span, out.tail);
}

}  // namespace kestrand::cache
