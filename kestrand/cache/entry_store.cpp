#include "kestrand/cache/entry_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <random>
#include <system_error>
#include <vector>

namespace kestrand::cache {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kEnding = ".entry";
constexpr std::size_t kFirstBytes = 4096;

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string temporaryName() {
    static std::atomic<std::uint64_t> counter{0};
    thread_local std::mt19937_64 random{std::random_device{}()};
    return ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(random() & 0xFFFFFF);
}

}  // namespace

std::string keyOf(std::string_view text) {
    static const char* hex = "0123456789abcdef";
    std::uint64_t h = XXH3_64bits(text.data(), text.size());
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i) {
        out[static_cast<std::size_t>(i)] = hex[h & 15];
        h >>= 4;
    }
    return out;
}

fs::path EntryStore::pathOf(std::string_view key) const {
    return folder_ / (std::string(key) + std::string(kEnding));
}

std::optional<std::string> EntryStore::load(std::string_view key) const {
    const std::shared_ptr<const OpenFile> file = open(key);
    if (!file) {
        return std::nullopt;
    }
    std::string bytes(file->size(), '\0');
    if (!file->read(bytes.data(), bytes.size(), 0)) {
        return std::nullopt;
    }
    return bytes;
}

std::shared_ptr<const OpenFile> EntryStore::open(std::string_view key) const {
    std::shared_ptr<const OpenFile> file = OpenFile::open(pathOf(key), false);
    if (file) {
        // Marks it used: the least recently used go first when the folder is trimmed.
        ::futimens(file->descriptor(), nullptr);
    }
    return file;
}

bool EntryStore::store(std::string_view key, std::string_view bytes, std::string& error) const {
    return store(key, std::vector<std::string_view>{bytes}, error);
}

bool EntryStore::store(std::string_view key, const std::vector<std::string_view>& pieces,
                       std::string& error) const {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec) {
        error = "cannot make the cache folder " + folder_.string() + ": " + ec.message();
        return false;
    }
    const fs::path temporary = folder_ / temporaryName();
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error =
            "cannot write into the cache folder " + folder_.string() + ": " + std::strerror(errno);
        return false;
    }
    bool ok = true;
    for (const std::string_view bytes : pieces) {
        ok = ok && writeAll(fd, bytes);
    }
    int saved = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::rename(temporary.c_str(), pathOf(key).c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        error =
            "cannot write into the cache folder " + folder_.string() + ": " + std::strerror(saved);
    }
    return ok;
}

void EntryStore::remove(std::string_view key) const { ::unlink(pathOf(key).c_str()); }

void EntryStore::trim(std::uint64_t maxBytes,
                      const std::function<bool(std::string_view)>& gone) const {
    struct Entry {
        fs::path path;
        std::uint64_t size = 0;
        std::int64_t used = 0;
    };
    std::vector<Entry> entries;
    std::uint64_t total = 0;
    std::error_code ec;
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        const std::string name = path.filename().string();
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            continue;
        }
        if (name.starts_with(".tmp-")) {
            if (now - static_cast<std::int64_t>(info.st_mtim.tv_sec) > 3600) {
                ::unlink(path.c_str());
            }
            continue;
        }
        if (!name.ends_with(kEnding)) {
            continue;
        }
        if (gone) {
            std::string first(kFirstBytes, '\0');
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd >= 0) {
                const ssize_t n = ::read(fd, first.data(), first.size());
                ::close(fd);
                first.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
                if (gone(first)) {
                    ::unlink(path.c_str());
                    continue;
                }
            }
        }
        const auto size = static_cast<std::uint64_t>(info.st_size);
        entries.push_back(Entry{
            path, size,
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec});
        total += size;
    }
    if (total <= maxBytes) {
        return;
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.used < b.used; });
    for (const Entry& entry : entries) {
        if (total <= maxBytes) {
            break;
        }
        if (::unlink(entry.path.c_str()) == 0) {
            total -= entry.size;
        }
    }
}

}  // namespace kestrand::cache
