#pragma once

// A sealed entry: 8 bytes of magic, the format's version, the payload's length and a 64-bit
// XXH3 checksum of the payload, then the payload. Unsealing checks each, so that an entry
// of another kind or version, one cut short and one damaged are each refused with a reason.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kestrand::cache {

inline constexpr std::size_t kSealHeader = 8 + 4 + 8 + 8;

std::string seal(std::string_view magic, std::uint32_t version, std::string_view payload);
// The seal's head alone, for a payload written after it.
std::string sealHead(std::string_view magic, std::uint32_t version, std::string_view payload);
// The same for a payload of `length` bytes with this checksum, given piece by piece.
std::string sealHead(std::string_view magic, std::uint32_t version, std::uint64_t length,
                     std::uint64_t payloadChecksum);

// The payload; nothing and why when the bytes are not a whole entry of this magic and version
// ("not a kestrand summary", "written by another version of kestrand (format 3)", "cut
// short: 120 of 4,096 bytes", "damaged: its checksum does not match").
std::optional<std::string_view> unseal(std::string_view bytes, std::string_view magic,
                                       std::uint32_t version, std::string_view what,
                                       std::string& error);
// The same for an entry that goes on after its sealed head: bytes may hold more than the
// payload (or less, when `needed` then says how many bytes a whole head takes).
std::optional<std::string_view> unsealHead(std::string_view bytes, std::string_view magic,
                                           std::uint32_t version, std::string_view what,
                                           std::string& error, std::uint64_t& needed);

std::uint64_t checksum(std::string_view bytes);

// The checksum of bytes given piece by piece: checksum() of all of them together.
class Checksum {
  public:
    Checksum();
    ~Checksum();
    Checksum(const Checksum&) = delete;
    Checksum& operator=(const Checksum&) = delete;
    void add(std::string_view bytes);
    std::uint64_t value() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kestrand::cache
