#include "kestrand/cache/open_file.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "kestrand/cache/file_identity.h"

namespace kestrand::cache {

namespace {

std::atomic<std::uint64_t> held{0};

// How many may be held at once: half the descriptors the process may have, the soft limit
// raised to the hard one first (a folder of years of daily files holds one per file).
std::uint64_t mostHeld() {
    static const std::uint64_t most = [] {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
            return std::uint64_t{256};
        }
        const rlim_t wanted = std::min<rlim_t>(limit.rlim_max, rlim_t{1} << 16);
        if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
            rlimit raised = limit;
            raised.rlim_cur = wanted;
            if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) {
                limit = raised;
            }
        }
        const rlim_t soft = limit.rlim_cur == RLIM_INFINITY ? rlim_t{1} << 16 : limit.rlim_cur;
        return static_cast<std::uint64_t>(soft / 2);
    }();
    return most;
}

}  // namespace

std::shared_ptr<const OpenFile> OpenFile::open(const std::filesystem::path& path, bool followLink) {
    if (held.fetch_add(1) >= mostHeld()) {
        --held;
        errno = EMFILE;
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        return std::shared_ptr<const OpenFile>(
            new OpenFile(fd, static_cast<std::uint64_t>(info.st_size)));
    }
    const int saved = fd >= 0 ? EISDIR : errno;
    if (fd >= 0) {
        ::close(fd);
    }
    --held;
    errno = saved;
    return nullptr;
}

OpenFile::~OpenFile() {
    ::close(fd_);
    --held;
}

bool OpenFile::read(char* into, std::uint64_t size, std::uint64_t offset) const {
    return readFully(fd_, into, size, offset);
}

}  // namespace kestrand::cache
