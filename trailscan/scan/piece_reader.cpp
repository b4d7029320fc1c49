#include "trailscan/scan/piece_reader.h"

#include <algorithm>
#include <cstring>

#include "trailscan/log/field_bytes.h"
#include "trailscan/log/file_io.h"

namespace trailscan::scan {

namespace {
// The most a piece holds; a record is read in pieces that grow to it from the first, which
// is what most records need.
constexpr std::int64_t kPieceBytes = std::int64_t{1} << 20;
constexpr std::int64_t kFirstPieceBytes = std::int64_t{64} << 10;
}  // namespace

ReadEnd PieceReader::load(std::int64_t offset, std::size_t size, std::size_t keep) {
    if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) {
        return ReadEnd::Cancelled;
    }
    if (buffer_.size() < keep + size) {
        buffer_.resize(keep + size);
    }
    const std::int64_t got = file_->readAt(offset, buffer_.data() + keep, size);
    return got == static_cast<std::int64_t>(size) ? ReadEnd::Done : ReadEnd::Failed;
}

ReadEnd PieceReader::readRecord(std::int64_t at, FileRecord& record) {
    record.fields = 0;
    // The buffer holds the file's bytes [pieceBegin, pieceEnd).
    std::int64_t pieceBegin = at;
    std::int64_t pieceEnd = at;
    std::int64_t pieceBytes = kFirstPieceBytes;
    ReadEnd end = ReadEnd::Done;
    // Whether the byte at `offset` (never before the piece) is held, reading on when it is not;
    // false at the end of the file and when a read did not give the bytes (`end` says why).
    const auto reach = [&](std::int64_t offset) {
        if (offset < pieceEnd) {
            return true;
        }
        if (offset >= size_) {
            return false;
        }
        pieceBegin = offset;
        pieceEnd = std::min(size_, offset + pieceBytes);
        pieceBytes = std::min(kPieceBytes, pieceBytes * 2);
        end = load(pieceBegin, static_cast<std::size_t>(pieceEnd - pieceBegin), 0);
        return end == ReadEnd::Done;
    };
    const auto held = [&](std::int64_t offset) { return buffer_.data() + (offset - pieceBegin); };
    for (int k = 0; k < log::kFieldCount && reach(at); ++k) {
        // Blanks in front of the value.
        std::int64_t begin = at;
        while (reach(begin)) {
            const char* bytes = held(begin);
            const auto left = static_cast<std::size_t>(pieceEnd - begin);
            const auto blanks = static_cast<std::size_t>(
                std::find_if(bytes, bytes + left, [](char c) { return c != log::kBlank; }) - bytes);
            begin += static_cast<std::int64_t>(blanks);
            if (blanks < left) {
                break;
            }
        }
        // Its end: a comma, an LF or the end of the file.
        std::int64_t stop = begin;
        bool ended = false;
        while (reach(stop)) {
            const auto left = static_cast<std::size_t>(pieceEnd - stop);
            const std::size_t found = log::findFieldEnd(held(stop), left, 1);
            stop += static_cast<std::int64_t>(found);
            if (found < left) {
                ended = true;
                break;
            }
        }
        if (end != ReadEnd::Done) {
            return end;
        }
        FileRange value{begin, stop};
        if (ended && *held(stop) == log::kLineFeed && stop > begin) {
            // The CR of a CR LF ends the line with it; it is not the value's.
            char before = 0;
            if (stop > pieceBegin) {
                before = *held(stop - 1);
            } else if (file_->readAt(stop - 1, &before, 1) != 1) {
                return ReadEnd::Failed;
            }
            value.end -= before == log::kCarriageReturn ? 1 : 0;
        }
        record.values[static_cast<std::size_t>(k)] = value;
        record.fields = k + 1;
        if (!ended) {
            break;
        }
        at = stop + 1;
    }
    return end;
}

ReadEnd PieceReader::holds(FileRange range, std::string_view text, const ByteFinder& finder,
                           bool& found) {
    found = text.empty() && range.size() > 0;
    if (text.empty() || range.size() < static_cast<std::int64_t>(text.size())) {
        return ReadEnd::Done;
    }
    // The last bytes of a piece are kept before the next, so a text across two is found.
    const std::size_t overlap = text.size() - 1;
    std::size_t kept = 0;
    for (std::int64_t at = range.begin; at < range.end;) {
        const auto size = static_cast<std::size_t>(std::min(kPieceBytes, range.end - at));
        if (const ReadEnd end = load(at, size, kept); end != ReadEnd::Done) {
            return end;
        }
        const std::string_view bytes(buffer_.data(), kept + size);
        if (finder.find(bytes, 0) != std::string_view::npos) {
            found = true;
            return ReadEnd::Done;
        }
        kept = std::min(overlap, bytes.size());
        std::memmove(buffer_.data(), buffer_.data() + bytes.size() - kept, kept);
        at += static_cast<std::int64_t>(size);
    }
    return ReadEnd::Done;
}

ReadEnd PieceReader::read(FileRange range, const std::function<void(std::string_view)>& take) {
    for (std::int64_t at = range.begin; at < range.end;) {
        const auto size = static_cast<std::size_t>(std::min(kPieceBytes, range.end - at));
        if (const ReadEnd end = load(at, size, 0); end != ReadEnd::Done) {
            return end;
        }
        take(std::string_view(buffer_.data(), size));
        at += static_cast<std::int64_t>(size);
    }
    return ReadEnd::Done;
}

}  // namespace trailscan::scan
