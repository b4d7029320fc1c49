#pragma once

// The bytes of a summary: numbers as LEB128 varints, texts as a length and their bytes. The
// reader checks every length against what is left and stops at the first fault; a reader
// that failed reads zeros and empty texts from then on, so a caller checks ok() once at the
// end.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kestrand::reports {

class Writer {
  public:
    void number(std::uint64_t value) {
        while (value >= 0x80) {
            out_.push_back(static_cast<char>((value & 0x7F) | 0x80));
            value >>= 7;
        }
        out_.push_back(static_cast<char>(value));
    }
    // A signed number, zigzag-coded so that small negatives stay short.
    void signedNumber(std::int64_t value) {
        number((static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63));
    }
    void text(std::string_view value) {
        number(value.size());
        out_.append(value);
    }
    void raw(std::string_view bytes) { out_.append(bytes); }
    std::size_t size() const { return out_.size(); }
    std::string& bytes() { return out_; }
    std::string take() { return std::move(out_); }

  private:
    std::string out_;
};

class Reader {
  public:
    explicit Reader(std::string_view bytes) : data_(bytes) {}
    std::uint64_t number() {
        std::uint64_t value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (pos_ >= data_.size()) {
                return fail();
            }
            const auto byte = static_cast<unsigned char>(data_[pos_++]);
            value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
            if ((byte & 0x80) == 0) {
                return value;
            }
        }
        return fail();
    }
    std::int64_t signedNumber() {
        const std::uint64_t z = number();
        return static_cast<std::int64_t>((z >> 1) ^ (~(z & 1) + 1));
    }
    // A count of things each at least `least` bytes long: never more than the bytes left can
    // hold, so a damaged count cannot make a caller reserve without bound.
    std::uint64_t count(std::uint64_t least = 1) {
        const std::uint64_t n = number();
        if (n > (data_.size() - pos_) / (least == 0 ? 1 : least)) {
            return fail();
        }
        return n;
    }
    // A number that must be below limit (an id into what was read before it).
    std::uint64_t below(std::uint64_t limit) {
        const std::uint64_t n = number();
        if (n >= limit) {
            return fail();
        }
        return n;
    }
    std::string_view text() { return raw(number()); }
    std::string_view raw(std::uint64_t n) {
        if (!ok_ || n > data_.size() - pos_) {
            fail();
            return {};
        }
        const std::string_view out = data_.substr(pos_, n);
        pos_ += n;
        return out;
    }
    bool ok() const { return ok_; }
    std::size_t left() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ == data_.size(); }
    std::uint64_t fail() {
        ok_ = false;
        pos_ = data_.size();
        return 0;
    }

  private:
    std::string_view data_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace kestrand::reports
