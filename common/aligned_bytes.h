#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace common {

// Buffers that file data is read into start on a page boundary: the kernel copies into them
// markedly faster than into the 16-byte alignment the allocator gives large blocks.
inline constexpr std::size_t kReadAlignment = 4096;

struct AlignedDelete {
    void operator()(char* bytes) const {
        ::operator delete[](bytes, std::align_val_t{kReadAlignment});
    }
};

using AlignedBytes = std::unique_ptr<char[], AlignedDelete>;

// `size` bytes, not cleared, aligned to kReadAlignment.
inline AlignedBytes alignedBytes(std::size_t size) {
    return AlignedBytes(
        static_cast<char*>(::operator new[](size, std::align_val_t{kReadAlignment})));
}

}  // namespace common
