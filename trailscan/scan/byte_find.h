#pragma once

#include <cstddef>
#include <string_view>

namespace trailscan::scan {

// Finding a byte string in a report of up to hundreds of megabytes, fast enough for one key
// press: the text is filtered 16 or 32 bytes at a time on the needle's two rarest bytes (and,
// 32 at a time, on its last), only
// the candidates are compared in full, and a long range is shared between two threads.

// One needle looked for again and again, planned once.
class ByteFinder {
  public:
    explicit ByteFinder(std::string_view needle);
    // Planned on `sample`, bytes like those it will search: the two bytes of the needle that
    // pass fewest places there, and the third test only where even they pass often.
    ByteFinder(std::string_view needle, std::string_view sample);
    // The first occurrence starting at or after `from` (one thread); npos when there is none
    // or the needle is empty.
    std::size_t find(std::string_view text, std::size_t from) const;

  private:
    std::string_view needle_;
    std::size_t first_ = 0;
    std::size_t second_ = 0;
    std::size_t third_ = 0;
    bool useThird_ = true;
};

// The first occurrence of `needle` starting at or after `from`; npos when there is none or the
// needle is empty.
std::size_t findBytes(std::string_view text, std::string_view needle, std::size_t from);

// The last occurrence of `needle` that ends at or before `to`; npos when there is none.
std::size_t findBytesBackward(std::string_view text, std::string_view needle, std::size_t to);

}  // namespace trailscan::scan
