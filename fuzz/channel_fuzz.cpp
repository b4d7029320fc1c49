// Fuzzes the channel: arbitrary file bytes, then reads of fields, lines and records,
// the end test and seeks to arbitrary positions, driven by the input's first bytes.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "trailscan/log/channel.h"
#include "trailscan/log/format.h"
#include "trailscan/log/line_count.h"
#include "trailscan/log/record.h"

namespace {
std::filesystem::path scratchFile() {
    static const auto path = std::filesystem::temp_directory_path() /
                             ("channel-fuzz-" + std::to_string(::getpid()) + ".log");
    return path;
}
void writeFile(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (size > 0) std::fwrite(data, 1, size, out);
    std::fclose(out);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first 16 bytes steer the reads; the rest is the file.
    const size_t steer = size < 16 ? size : 16;
    const auto path = scratchFile();
    writeFile(path, data + steer, size - steer);
    const auto fileSize = static_cast<int64_t>(size - steer);

    trailscan::log::Channel channel;
    if (channel.open(path)) return 0;
    trailscan::log::FieldSlots slots;
    std::string value;
    // Reads never go past the end of the file, or past where a seek put the channel.
    int64_t limit = fileSize + 1;
    for (size_t i = 0; i < steer; ++i) {
        const uint8_t op = data[i];
        const int64_t before = channel.position();
        switch (op % 6) {
            case 0: {
                const size_t length = channel.readField(value);
                if (value.size() > trailscan::log::kMaxFieldLength || value.size() > length)
                    __builtin_trap();
                break;
            }
            case 1:
                channel.readLine();
                break;
            case 2: {
                const auto read = trailscan::log::readRecord(channel, slots);
                if (read.fieldsRead > trailscan::log::kFieldCount || !slots[23].empty())
                    __builtin_trap();
                break;
            }
            case 3:
                channel.seek(static_cast<int64_t>(op / 6) * (fileSize / 40 + 1) - 3);
                if (channel.position() < 1) __builtin_trap();
                limit = std::max(limit, channel.position());
                break;
            case 4:
                (void)channel.eof();
                break;
            default: {
                const auto total = trailscan::log::lineTotal(channel);
                if (total < 1 || !channel.eof()) __builtin_trap();
                break;
            }
        }
        // Reads only move forwards.
        if (op % 6 != 3 && channel.position() < before) __builtin_trap();
        if (channel.position() > limit) __builtin_trap();
    }
    return 0;
}
