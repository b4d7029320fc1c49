#pragma once

// How a log file is known between runs: its device, inode, size, times, and a hash of its
// first and last 64 KiB. A file whose inode, size and both times are as remembered has not
// been written since (any write moves its change time, which no one can set back). One
// whose ends still hash the same at the size remembered has only grown.

#include <cstdint>
#include <filesystem>
#include <string>

namespace kestrand::cache {

inline constexpr std::uint64_t kEndBytes = std::uint64_t{64} << 10;

struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds since the epoch
    std::int64_t changed = 0;
    std::uint64_t head = 0;  // XXH3 of the first min(64 KiB, size) bytes
    std::uint64_t tail = 0;  // XXH3 of the last min(64 KiB, size) bytes

    // The same file, not written since: everything but the hashes as remembered.
    bool sameStat(const FileIdentity& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified == other.modified && changed == other.changed;
    }
};

// The stat part of path's identity (links followed); false when it cannot be taken.
bool statIdentity(const std::filesystem::path& path, FileIdentity& out);
bool statIdentity(int fd, FileIdentity& out);

// Exactly `size` bytes of fd from `offset`; false when they cannot all be read.
bool readFully(int fd, char* into, std::uint64_t size, std::uint64_t offset);

// The hashes of the ends of the first `size` bytes of fd, into out; false when they cannot
// be read whole.
bool hashEnds(int fd, std::uint64_t size, FileIdentity& out);

}  // namespace kestrand::cache
