// Fuzzes the record browser's stepping: ">>", "<<" and "| |" pressed in a fuzzed order
// over a fuzzed file, which may also grow, shrink or be rewritten between presses. The
// buttons are driven as the window drives them, through the stepping logic alone.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "trailscan/browser/stepping.h"
#include "trailscan/log/channel.h"
#include "trailscan/log/format.h"
#include "trailscan/log/line_count.h"

namespace {

namespace browser = trailscan::browser;
namespace log = trailscan::log;

std::filesystem::path scratchFile() {
    static const auto path = std::filesystem::temp_directory_path() /
                             ("stepping-fuzz-" + std::to_string(::getpid()) + ".log");
    return path;
}

void writeFile(const char* mode, const uint8_t* data, size_t size) {
    std::FILE* out = std::fopen(scratchFile().c_str(), mode);
    if (out == nullptr) __builtin_trap();
    if (size > 0) std::fwrite(data, 1, size, out);
    std::fclose(out);
}

void check(bool condition) {
    if (!condition) __builtin_trap();
}

// The browser's state, stepped as its buttons step it.
struct Browser {
    log::Channel channel;
    bool open = false;
    std::int64_t counter = 0;
    std::int64_t lineTotal = 0;
    log::FieldSlots slots{};
    browser::SavedLengths lengths;

    // `op` with the same file chosen again.
    bool op() {
        if (!open) {
            if (channel.open(scratchFile())) return false;
            open = true;
            counter = 0;
            lineTotal = log::lineTotal(channel);
            check(lineTotal >= 1);
            channel.close();
            if (channel.open(scratchFile())) {
                open = false;
                return false;
            }
            check(channel.position() == 1);
        }
        return true;
    }

    void read() {
        const std::int64_t before = counter;
        const log::RecordRead record = browser::readNext(channel, slots, lengths, counter);
        check(counter == before + 1);
        check(record.fieldsRead >= 0 && record.fieldsRead <= log::kFieldCount);
        check(record.length >= 2 * record.fieldsRead);
        check(record.reachedEnd || record.fieldsRead == log::kFieldCount);
        check(slots[log::kSlotCount - 1].empty());
        for (const auto& slot : slots) check(slot.size() <= log::kMaxFieldLength);
        if (record.reachedEnd) {
            channel.close();
            open = false;
        }
        (void)browser::positionText(counter, lineTotal);
    }

    void forward() {
        if (!open && !op()) return;
        read();
    }

    void back() {
        if (!open) {
            if (op()) read();
            return;
        }
        const std::int64_t before = counter;
        const browser::StepBack step = browser::moveBack(channel, counter, lengths);
        check(step.seekPosition >= 1);
        switch (step.kind) {
            case browser::StepBack::Kind::AtStart:
                check(before < 2 && counter == before);
                return;
            case browser::StepBack::Kind::FirstRecord:
                check(before >= 2 && counter == 0 && step.seekPosition == 1);
                break;
            case browser::StepBack::Kind::FromPosition:
                check(before > 2 && counter == before - 2);
                break;
        }
        check(counter >= 0);
        read();
        // One lower, or record 1 when the step back had nothing before it.
        check(counter == (step.kind == browser::StepBack::Kind::FirstRecord ? 1 : before - 1));
    }

    void choose() {
        channel.close();
        open = false;
        lengths.clear();
        counter = 0;
        if (op()) read();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte tells how many bytes after it are button presses and file changes;
    // the rest is the file.
    if (size == 0) return 0;
    const size_t steer = std::min<size_t>(data[0] % 48, size - 1);
    const uint8_t* presses = data + 1;
    const uint8_t* file = data + 1 + steer;
    const size_t fileSize = size - 1 - steer;
    writeFile("wb", file, fileSize);

    Browser window;
    for (size_t i = 0; i < steer; ++i) {
        const uint8_t press = presses[i];
        switch (press % 8) {
            case 0:
            case 1:
            case 2:
                window.forward();
                break;
            case 3:
            case 4:
                window.back();
                break;
            case 5:
                window.choose();
                break;
            case 6: {
                // The file grows by a piece of itself, or shrinks to a fraction of itself.
                const size_t piece = fileSize * (press >> 3) / 32;
                if (press & 0x80) {
                    writeFile("ab", file, piece);
                } else {
                    std::error_code ignored;
                    std::filesystem::resize_file(scratchFile(), piece, ignored);
                }
                break;
            }
            default: {
                // Rewritten in place with the file's bytes from a later start.
                const size_t from = fileSize * (press >> 3) / 32;
                writeFile("wb", file + from, fileSize - from);
                break;
            }
        }
        check(window.counter >= 0);
        check(window.lengths.first() >= 0 && window.lengths.second() >= 0);
        if (window.open) check(window.channel.position() >= 1);
    }
    return 0;
}
