#include "trailscan/gz/gz_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "common/number_text.h"

namespace trailscan::gz {

namespace {

constexpr std::size_t kInputBytes = 64 * 1024;
constexpr std::size_t kScratchBytes = 64 * 1024;
// Past this many points the span doubles every as many again, so a huge log keeps a few
// thousand windows (32 KiB each) and not one a megabyte.
constexpr std::size_t kPointsBeforeWiderSpans = 1024;

std::string byteText(std::int64_t offset) {
    return common::grouped(static_cast<std::uint64_t>(std::max<std::int64_t>(offset, 0)));
}

// zlib counts in unsigned int; a request is handed over in pieces that fit.
unsigned int chunk(std::int64_t bytes) {
    return static_cast<unsigned int>(std::min<std::int64_t>(bytes, std::int64_t{1} << 30));
}

}  // namespace

bool startsGzip(const unsigned char* head, std::size_t size) {
    return size >= 2 && head[0] == 0x1f && head[1] == 0x8b;
}

// Where inflating may start again: the output and input offsets at a deflate block boundary,
// the bits of the input byte before it that belong to the next block, and the window.
struct GzReader::Point {
    std::int64_t out = 0;
    std::int64_t in = 0;
    int bits = 0;
    bool memberStart = false;  // the first block of a gzip member: no window is needed
    std::vector<unsigned char> window;
};

// The front-to-back pass.
struct GzReader::Front {
    z_stream strm{};
    bool ready = false;
    std::vector<unsigned char> input = std::vector<unsigned char>(kInputBytes);
    std::vector<unsigned char> scratch = std::vector<unsigned char>(kScratchBytes);
    std::int64_t inPos = 0;     // file offset after the bytes held in `input`
    bool memberPending = true;  // the next header end starts a member
    std::int64_t lastPointOut = -1;
    std::vector<unsigned char> dictionary = std::vector<unsigned char>(32768);

    ~Front() {
        if (ready) {
            inflateEnd(&strm);
        }
    }
    std::int64_t used() const { return inPos - static_cast<std::int64_t>(strm.avail_in); }
};

// A reader of bytes behind the pass, inflating from a point on.
struct GzReader::Cursor {
    z_stream strm{};
    bool ready = false;
    bool valid = false;  // out and the stream agree; false until started at a point
    bool busy = false;
    std::int64_t out = 0;
    std::int64_t inPos = 0;
    std::vector<unsigned char> input = std::vector<unsigned char>(kInputBytes);
    std::vector<unsigned char> scratch = std::vector<unsigned char>(kScratchBytes);

    ~Cursor() {
        if (ready) {
            inflateEnd(&strm);
        }
    }
};

GzReader::GzReader(ReadAt read, std::int64_t fileSize, std::int64_t span)
    : read_(std::move(read)),
      fileSize_(fileSize),
      front_(std::make_unique<Front>()),
      span_(std::max<std::int64_t>(span, 1)) {
    // 31: a gzip header and trailer around the deflate data.
    front_->ready = inflateInit2(&front_->strm, 31) == Z_OK;
    if (!front_->ready) {
        finish("there was no memory to inflate it");
    }
}

GzReader::~GzReader() = default;

std::optional<std::string> GzReader::damage() const {
    std::lock_guard lock(pointsMutex_);
    return damage_;
}

std::size_t GzReader::points() const {
    std::lock_guard lock(pointsMutex_);
    return points_.size();
}

void GzReader::finish(std::optional<std::string> why) {
    {
        std::lock_guard lock(pointsMutex_);
        damage_ = std::move(why);
    }
    fileBytesRead_ = fileSize_;
    complete_ = true;
}

void GzReader::addPoint(std::int64_t out, std::int64_t in, int bits, bool memberStart) {
    auto point = std::make_unique<Point>();
    point->out = out;
    point->in = in;
    point->bits = bits;
    point->memberStart = memberStart;
    if (!memberStart) {
        uInt length = 0;
        if (inflateGetDictionary(&front_->strm, front_->dictionary.data(), &length) == Z_OK) {
            point->window.assign(front_->dictionary.begin(), front_->dictionary.begin() + length);
        }
    }
    front_->lastPointOut = out;
    std::lock_guard lock(pointsMutex_);
    points_.push_back(std::move(point));
    if (points_.size() >= kPointsBeforeWiderSpans &&
        points_.size() % kPointsBeforeWiderSpans == 0) {
        span_ *= 2;
    }
}

const GzReader::Point* GzReader::pointBefore(std::int64_t offset) const {
    std::lock_guard lock(pointsMutex_);
    const auto after = std::upper_bound(
        points_.begin(), points_.end(), offset,
        [](std::int64_t value, const std::unique_ptr<Point>& p) { return value < p->out; });
    return after == points_.begin() ? nullptr : std::prev(after)->get();
}

const GzReader::Point* GzReader::memberAt(std::int64_t out, std::int64_t in) const {
    std::lock_guard lock(pointsMutex_);
    for (auto it = std::lower_bound(
             points_.begin(), points_.end(), out,
             [](const std::unique_ptr<Point>&p, std::int64_t value) { return p->out < value; });
         it != points_.end() && (*it)->out == out; ++it) {
        if ((*it)->memberStart && (*it)->in >= in) {
            return it->get();
        }
    }
    return nullptr;
}

std::int64_t GzReader::advance(std::int64_t from, std::int64_t to, char* into) {
    Front& f = *front_;
    std::int64_t handed = 0;
    // Makes at least one more input byte available; false at the end of the file.
    auto refill = [&]() -> bool {
        if (f.strm.avail_in > 0) {
            return true;
        }
        const std::int64_t got =
            read_(f.inPos, reinterpret_cast<char*>(f.input.data()), f.input.size());
        if (got < 0) {
            finish("the file could not be read past byte " + byteText(f.inPos));
            return false;
        }
        f.strm.next_in = f.input.data();
        f.strm.avail_in = static_cast<uInt>(got);
        f.inPos += got;
        fileBytesRead_.store(f.inPos, std::memory_order_relaxed);
        return got > 0;
    };
    // After the last input byte, inflate may still hold bits that give more output: it is
    // called on without input until it gives nothing.
    bool inputEnded = false;
    while (!complete_ && frontOut_ < to) {
        if (!inputEnded && !refill()) {
            if (complete_) {
                break;
            }
            inputEnded = true;
        }
        const std::int64_t out = frontOut_;
        const bool discard = out < from;
        f.strm.next_out =
            discard ? f.scratch.data() : reinterpret_cast<unsigned char*>(into + (out - from));
        f.strm.avail_out =
            discard ? chunk(std::min<std::int64_t>(kScratchBytes, from - out)) : chunk(to - out);
        const uInt room = f.strm.avail_out;
        const int ret = inflate(&f.strm, Z_BLOCK);
        const std::int64_t made = room - f.strm.avail_out;
        frontOut_ = out + made;
        if (!discard) {
            handed += made;
        }
        if (inputEnded && made == 0 && (ret == Z_OK || ret == Z_BUF_ERROR)) {
            finish("the compressed data ends early, at byte " + byteText(f.used()) +
                   " of the file");
            break;
        }
        if (ret == Z_STREAM_END) {
            // A member ends; another may follow. Zero bytes after the last are padding.
            while (refill() && f.strm.avail_in > 0 && f.strm.next_in[0] == 0) {
                ++f.strm.next_in;
                --f.strm.avail_in;
            }
            if (complete_) {
                break;
            }
            if (f.strm.avail_in == 0) {
                finish(std::nullopt);
                break;
            }
            const std::int64_t at = f.used();
            unsigned char head[2] = {f.strm.next_in[0], 0};
            if (f.strm.avail_in > 1) {
                head[1] = f.strm.next_in[1];
            } else if (read_(at + 1, reinterpret_cast<char*>(head + 1), 1) != 1) {
                head[1] = 0;
            }
            if (!startsGzip(head, 2)) {
                finish("the bytes from byte " + byteText(at) + " of the file on are not gzip data");
                break;
            }
            inflateReset(&f.strm);
            f.memberPending = true;
            continue;
        }
        if (ret != Z_OK && ret != Z_BUF_ERROR) {
            std::string why =
                "the compressed data is damaged at byte " + byteText(f.used()) + " of the file";
            if (f.strm.msg != nullptr) {
                why += std::string(" (") + f.strm.msg + ")";
            }
            finish(why);
            break;
        }
        // At a block boundary (or right after a member's header) inflating may start again.
        const int type = f.strm.data_type;
        if ((type & 128) != 0 && (type & 64) == 0) {
            if (f.memberPending) {
                f.memberPending = false;
                addPoint(frontOut_, f.used(), 0, true);
            } else if (frontOut_ - f.lastPointOut >= span_) {
                addPoint(frontOut_, f.used(), type & 7, false);
            }
        }
    }
    return handed;
}

std::int64_t GzReader::readBehind(std::int64_t offset, char* into, std::size_t size) {
    const Point* start = pointBefore(offset);
    if (start == nullptr) {
        return 0;
    }
    Cursor* cursor = nullptr;
    {
        // The free cursor nearest before the offset, if inflating on from it costs no more
        // than starting at the point; else any free one, started again.
        std::lock_guard lock(cursorsMutex_);
        Cursor* fresh = nullptr;
        for (auto& c : cursors_) {
            if (c->busy) {
                continue;
            }
            if (c->valid && c->out <= offset && c->out >= start->out &&
                (cursor == nullptr || c->out > cursor->out)) {
                cursor = c.get();
            }
            if (fresh == nullptr || !c->valid) {
                fresh = c.get();
            }
        }
        if (cursor == nullptr) {
            if (fresh == nullptr) {
                cursors_.push_back(std::make_unique<Cursor>());
                fresh = cursors_.back().get();
            }
            cursor = fresh;
            cursor->valid = false;
        }
        cursor->busy = true;
    }
    Cursor& c = *cursor;
    auto startAt = [&](const Point& p) -> bool {
        c.valid = false;
        if (c.ready) {
            c.ready = inflateReset2(&c.strm, -15) == Z_OK;
        } else {
            c.ready = inflateInit2(&c.strm, -15) == Z_OK;
        }
        if (!c.ready) {
            return false;
        }
        c.strm.avail_in = 0;
        c.inPos = p.in;
        if (p.bits > 0) {
            char byte = 0;
            if (read_(p.in - 1, &byte, 1) != 1) {
                return false;
            }
            inflatePrime(&c.strm, p.bits, static_cast<unsigned char>(byte) >> (8 - p.bits));
        }
        if (!p.window.empty()) {
            inflateSetDictionary(&c.strm, p.window.data(), static_cast<uInt>(p.window.size()));
        }
        c.out = p.out;
        c.valid = true;
        return true;
    };
    std::int64_t result = 0;
    const std::int64_t end = offset + static_cast<std::int64_t>(size);
    bool inputEnded = false;
    if (c.valid || startAt(*start)) {
        while (c.out < end) {
            if (c.strm.avail_in == 0 && !inputEnded) {
                const std::int64_t got =
                    read_(c.inPos, reinterpret_cast<char*>(c.input.data()), c.input.size());
                inputEnded = got <= 0;
                c.strm.next_in = c.input.data();
                c.strm.avail_in = static_cast<uInt>(std::max<std::int64_t>(got, 0));
                c.inPos += std::max<std::int64_t>(got, 0);
            }
            const bool discard = c.out < offset;
            c.strm.next_out = discard ? c.scratch.data()
                                      : reinterpret_cast<unsigned char*>(into + (c.out - offset));
            c.strm.avail_out = discard
                                   ? chunk(std::min<std::int64_t>(kScratchBytes, offset - c.out))
                                   : chunk(end - c.out);
            const uInt room = c.strm.avail_out;
            const int ret = inflate(&c.strm, Z_NO_FLUSH);
            c.out += room - c.strm.avail_out;
            if (inputEnded && room == c.strm.avail_out && ret != Z_STREAM_END) {
                c.valid = false;  // the file ends here: nothing more comes out
                break;
            }
            if (ret == Z_STREAM_END) {
                const std::int64_t used = c.inPos - static_cast<std::int64_t>(c.strm.avail_in);
                const Point* next = memberAt(c.out, used);
                if (next == nullptr || !startAt(*next)) {
                    c.valid = false;
                    break;
                }
                inputEnded = false;
                continue;
            }
            if (ret != Z_OK && ret != Z_BUF_ERROR) {
                c.valid = false;
                break;
            }
        }
        result = std::max<std::int64_t>(0, std::min(c.out, end) - offset);
    }
    std::lock_guard lock(cursorsMutex_);
    c.busy = false;
    return result;
}

std::int64_t GzReader::readAt(std::int64_t offset, char* into, std::size_t size) {
    if (offset < 0) {
        return -1;
    }
    std::int64_t done = 0;
    const auto want = static_cast<std::int64_t>(size);
    while (done < want) {
        const std::int64_t at = offset + done;
        std::int64_t known = frontOut_.load();
        if (at >= known) {
            std::lock_guard lock(frontMutex_);
            known = frontOut_.load();
            if (at >= known) {
                if (complete_) {
                    break;
                }
                const std::int64_t made = advance(at, offset + want, into + done);
                done += made;
                if (made == 0 && complete_) {
                    break;
                }
                continue;
            }
        }
        const std::int64_t piece = std::min(want - done, known - at);
        const std::int64_t got = readBehind(at, into + done, static_cast<std::size_t>(piece));
        done += got;
        if (got < piece) {
            break;  // the file changed under the reader
        }
    }
    return done;
}

std::int64_t GzReader::size() {
    readThrough(nullptr, {});
    return frontOut_;
}

bool GzReader::readThrough(const std::atomic<bool>* cancel,
                           const std::function<void(std::int64_t)>& progress) {
    // A step at a time, so the wait can be followed and cancelled.
    constexpr std::int64_t kStep = std::int64_t{16} << 20;
    while (!complete_) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
            return false;
        }
        {
            std::lock_guard lock(frontMutex_);
            const std::int64_t to = frontOut_ + kStep;
            advance(to, to, nullptr);
        }
        if (progress) {
            progress(fileBytesRead());
        }
    }
    return true;
}

}  // namespace trailscan::gz
