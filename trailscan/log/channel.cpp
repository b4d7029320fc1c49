#include "trailscan/log/channel.h"

#include <algorithm>
#include <cstring>

#include "trailscan/log/field_bytes.h"
#include "trailscan/log/file_io.h"
#include "trailscan/log/format.h"

namespace trailscan::log {

namespace {
// Large enough to make few reads, small enough to stay in the processor's cache.
constexpr std::size_t kBufferSize = 128 * 1024;
}  // namespace

Channel::Channel() : buffer_(kBufferSize) {}

Channel::~Channel() { close(); }

std::optional<std::string> Channel::open(const std::filesystem::path& path) {
    close();
    const std::shared_ptr<Source> kept = std::move(closed_);
    std::string error;
    source_ = Source::open(path, error);
    if (source_ == nullptr) {
        return error;
    }
    path_ = path;
    stamp_ = source_->stamp();
    if (kept != nullptr && closedPath_ == path && kept->stamp() == stamp_) {
        source_ = kept;
    }
    return std::nullopt;
}

void Channel::close() {
    if (source_ != nullptr && source_->compressed()) {
        closed_ = std::move(source_);
        closedPath_ = path_;
    }
    source_.reset();
    bufferStart_ = 0;
    next_ = 0;
    end_ = 0;
    beforeBuffer_ = -1;
    stamp_ = {};
}

bool Channel::loadAt(std::int64_t offset) {
    bufferStart_ = offset;
    next_ = 0;
    end_ = 0;
    return readBuffer();
}

bool Channel::fill() {
    if (next_ < end_) {
        return true;
    }
    if (source_ == nullptr) {
        return false;
    }
    const std::int64_t offset = bufferStart_ + static_cast<std::int64_t>(end_);
    if (end_ > 0) {
        beforeBuffer_ = static_cast<unsigned char>(buffer_[end_ - 1]);
    }
    bufferStart_ = offset;
    next_ = 0;
    return readBuffer();
}

bool Channel::readBuffer() {
    end_ = 0;
    if (source_ == nullptr) {
        return false;
    }
    // Each read takes the bytes at the offset as the file holds them now, so a file that grew
    // (or shrank) since the end was last seen is read as it is.
    const std::int64_t got = source_->readAt(bufferStart_, buffer_.data(), buffer_.size());
    end_ = got > 0 ? static_cast<std::size_t>(got) : 0;
    return end_ > 0;
}

bool Channel::eof() { return !fill(); }

void Channel::seek(std::int64_t position) {
    const std::int64_t target = std::max<std::int64_t>(position, 1) - 1;  // 0-based
    if (source_ == nullptr) {
        return;
    }
    // The buffer serves the seek only when it also knows the byte before the target.
    const bool knowsByteBefore = target > bufferStart_ || bufferStart_ == 0 || beforeBuffer_ != -1;
    if (knowsByteBefore && target >= bufferStart_ &&
        target < bufferStart_ + static_cast<std::int64_t>(end_)) {
        next_ = static_cast<std::size_t>(target - bufferStart_);
        return;
    }
    // Load one byte early so the byte before the position is known.
    beforeBuffer_ = -1;
    if (target == 0) {
        loadAt(0);
        return;
    }
    if (loadAt(target - 1)) {
        next_ = 1;
    } else {
        // Past the end: nothing to read until the file grows.
        bufferStart_ = target;
    }
}

void Channel::refresh() {
    if (source_ == nullptr) {
        return;
    }
    const file_io::FileStamp now = source_->stamp();
    if (now == stamp_) {
        return;
    }
    stamp_ = now;
    reloadAt(position());
}

void Channel::reloadAt(std::int64_t position) {
    end_ = 0;
    next_ = 0;
    beforeBuffer_ = -1;
    bufferStart_ = 0;
    seek(position);
}

std::size_t Channel::readField(std::string& value) {
    value.clear();
    // Blanks in front of the field.
    while (fill() && buffer_[next_] == kBlank) {
        ++next_;
    }
    std::size_t length = 0;
    auto keep = [&](const char* from, std::size_t count) {
        const std::size_t room = kMaxFieldLength - std::min(kMaxFieldLength, value.size());
        value.append(from, std::min(room, count));
        length += count;
    };
    while (fill()) {
        const char* begin = buffer_.data() + next_;
        const char* stop = buffer_.data() + end_;
        const char* at = begin;
        while (at != stop && !endsField(*at) && *at != kCarriageReturn) {
            ++at;
        }
        keep(begin, static_cast<std::size_t>(at - begin));
        next_ += static_cast<std::size_t>(at - begin);
        if (at == stop) {
            continue;
        }
        const char delimiter = *at;
        ++next_;
        if (delimiter == kCarriageReturn) {
            // CR LF ends the line; a CR on its own is part of the value.
            if (fill() && buffer_[next_] == kLineFeed) {
                ++next_;
                break;
            }
            keep("\r", 1);
            continue;
        }
        break;
    }
    return length;
}

void Channel::readLine() {
    if (!fill()) {
        return;
    }
    if (buffer_[next_] == '\n') {
        const int before =
            next_ > 0 ? static_cast<unsigned char>(buffer_[next_ - 1]) : beforeBuffer_;
        // This LF ends the line that the previous bytes began.
        if (before == '\r') {
            ++next_;
        }
    }
    while (fill()) {
        const char* begin = buffer_.data() + next_;
        const void* found = std::memchr(begin, '\n', end_ - next_);
        if (found != nullptr) {
            next_ = static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.data()) + 1;
            return;
        }
        next_ = end_;
    }
}

std::int64_t Channel::countLinesToEnd() {
    std::int64_t lines = 0;
    int last = -1;
    while (fill()) {
        lines += countLineFeeds(buffer_.data() + next_, end_ - next_);
        last = static_cast<unsigned char>(buffer_[end_ - 1]);
        next_ = end_;
    }
    if (last != -1 && last != '\n') {
        ++lines;  // a last line without a line end
    }
    return lines;
}

}  // namespace trailscan::log
