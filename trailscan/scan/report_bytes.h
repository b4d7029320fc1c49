#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "trailscan/scan/piece_reader.h"

namespace trailscan::scan {

// Report bytes of which the long fields stay in the file: each is named by its range and read
// when the report is written, so what a search holds stays small whatever a log's fields hold.
class ReportBytes {
  public:
    // The bytes the report gets: the text's and the ranges'.
    std::size_t size() const { return size_; }
    void clear();
    void append(std::string_view bytes) {
        text_ += bytes;
        size_ += bytes.size();
    }
    void append(FileRange range);
    void append(const ReportBytes& more) {
        if (!more.splices_.empty()) {
            appendSplices(more);
        }
        text_ += more.text_;
        size_ += more.size_;
    }

    // The first `size` bytes in order: text pieces to `text`, ranges to `range`, which returns
    // false to stop there. False when it stopped.
    template <typename Text, typename Range>
    bool visit(std::size_t size, Text&& text, Range&& range) const {
        std::size_t textAt = 0;
        std::size_t done = 0;
        for (const Splice& splice : splices_) {
            const std::size_t piece = std::min(splice.at - textAt, size - done);
            text(std::string_view(text_).substr(textAt, piece));
            textAt += piece;
            done += piece;
            const auto bytes = std::min(static_cast<std::size_t>(splice.range.size()), size - done);
            if (bytes == 0) {
                continue;
            }
            if (!range(FileRange{splice.range.begin,
                                 splice.range.begin + static_cast<std::int64_t>(bytes)})) {
                return false;
            }
            done += bytes;
        }
        text(std::string_view(text_).substr(textAt, std::min(text_.size() - textAt, size - done)));
        return true;
    }

  private:
    void appendSplices(const ReportBytes& more);

    struct Splice {
        std::size_t at;  // the range's bytes stand before text_[at]
        FileRange range;
    };
    std::string text_;
    std::vector<Splice> splices_;
    std::size_t size_ = 0;
};

}  // namespace trailscan::scan
