#include "kestrand/cache/seal.h"

#include <xxhash.h>

#include <cstring>
#include <new>

namespace kestrand::cache {

namespace {

void put(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

std::uint64_t get(std::string_view in, std::size_t at, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
    }
    return value;
}

}  // namespace

std::uint64_t checksum(std::string_view bytes) { return XXH3_64bits(bytes.data(), bytes.size()); }

std::string sealHead(std::string_view magic, std::uint32_t version, std::uint64_t length,
                     std::uint64_t payloadChecksum) {
    std::string out;
    out.append(magic.substr(0, 8));
    out.append(8 - std::min<std::size_t>(8, magic.size()), '\0');
    put(out, version, 4);
    put(out, length, 8);
    put(out, payloadChecksum, 8);
    return out;
}

std::string sealHead(std::string_view magic, std::uint32_t version, std::string_view payload) {
    return sealHead(magic, version, payload.size(), checksum(payload));
}

struct Checksum::State {
    XXH3_state_t* xxh = XXH3_createState();
    ~State() { XXH3_freeState(xxh); }
};

Checksum::Checksum() : state_(std::make_unique<State>()) {
    if (state_->xxh == nullptr) {
        throw std::bad_alloc();
    }
    XXH3_64bits_reset(state_->xxh);
}

Checksum::~Checksum() = default;

void Checksum::add(std::string_view bytes) {
    XXH3_64bits_update(state_->xxh, bytes.data(), bytes.size());
}

std::uint64_t Checksum::value() const { return XXH3_64bits_digest(state_->xxh); }

std::string seal(std::string_view magic, std::uint32_t version, std::string_view payload) {
    std::string out = sealHead(magic, version, payload);
    out.reserve(kSealHeader + payload.size());
    out.append(payload);
    return out;
}

std::optional<std::string_view> unseal(std::string_view bytes, std::string_view magic,
                                       std::uint32_t version, std::string_view what,
                                       std::string& error) {
    std::uint64_t needed = 0;
    const std::optional<std::string_view> payload =
        unsealHead(bytes, magic, version, what, error, needed);
    if (payload && kSealHeader + payload->size() < bytes.size()) {
        error = "damaged: it has bytes after its end";
        return std::nullopt;
    }
    return payload;
}

std::optional<std::string_view> unsealHead(std::string_view bytes, std::string_view magic,
                                           std::uint32_t version, std::string_view what,
                                           std::string& error, std::uint64_t& needed) {
    needed = 0;
    const std::size_t magicSize = std::min<std::size_t>(8, magic.size());
    if (bytes.size() < 8 || bytes.substr(0, magicSize) != magic.substr(0, magicSize)) {
        error = "not " + std::string(what);
        return std::nullopt;
    }
    if (bytes.size() < kSealHeader) {
        error = "cut short: " + std::to_string(bytes.size()) + " bytes";
        return std::nullopt;
    }
    const auto found = static_cast<std::uint32_t>(get(bytes, 8, 4));
    if (found != version) {
        error = "written by another version of kestrand (format " + std::to_string(found) +
                ", this one reads " + std::to_string(version) + ")";
        return std::nullopt;
    }
    const std::uint64_t length = get(bytes, 12, 8);
    if (length > bytes.size() - kSealHeader) {
        error = "cut short: " + std::to_string(bytes.size() - kSealHeader) + " of " +
                std::to_string(length) + " bytes";
        needed = kSealHeader + length;
        return std::nullopt;
    }
    const std::string_view payload = bytes.substr(kSealHeader, length);
    if (checksum(payload) != get(bytes, 20, 8)) {
        error = "damaged: its checksum does not match";
        return std::nullopt;
    }
    return payload;
}

}  // namespace kestrand::cache
