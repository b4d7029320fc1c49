#include "kestrand/reports/country.h"

#include <arpa/inet.h>
#include <maxminddb.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <system_error>
#include <vector>

namespace kestrand::reports {

struct CountryDatabase::Handle {
    MMDB_s db{};
};

bool isLocalAddress(std::string_view address) {
    if (address.empty() || address.size() >= 64) {
        return false;
    }
    std::array<char, 64> text{};
    std::memcpy(text.data(), address.data(), address.size());
    std::array<unsigned char, 16> bytes{};
    if (inet_pton(AF_INET, text.data(), bytes.data()) == 1) {
        const unsigned a = bytes[0];
        const unsigned b = bytes[1];
        return a == 10 || a == 127 || (a == 172 && b >= 16 && b <= 31) || (a == 192 && b == 168) ||
               (a == 169 && b == 254);
    }
    if (inet_pton(AF_INET6, text.data(), bytes.data()) == 1) {
        bool loopback = bytes[15] == 1;
        for (std::size_t i = 0; i < 15; ++i) {
            loopback = loopback && bytes[i] == 0;
        }
        const bool unique = (bytes[0] & 0xFE) == 0xFC;
        const bool linkLocal = bytes[0] == 0xFE && (bytes[1] & 0xC0) == 0x80;
        bool mapped = true;  // ::ffff:a.b.c.d
        for (std::size_t i = 0; i < 10; ++i) {
            mapped = mapped && bytes[i] == 0;
        }
        mapped = mapped && bytes[10] == 0xFF && bytes[11] == 0xFF;
        if (mapped) {
            const unsigned a = bytes[12];
            const unsigned b = bytes[13];
            return a == 10 || a == 127 || (a == 172 && b >= 16 && b <= 31) ||
                   (a == 192 && b == 168) || (a == 169 && b == 254);
        }
        return loopback || unique || linkLocal;
    }
    return false;
}

CountryDatabase::CountryDatabase() : handle_(std::make_unique<Handle>()) {}

CountryDatabase::~CountryDatabase() {
    if (handle_) {
        MMDB_close(&handle_->db);
    }
}

std::unique_ptr<CountryDatabase> CountryDatabase::open(const std::filesystem::path& file,
                                                       std::string& error) {
    std::unique_ptr<CountryDatabase> database(new CountryDatabase());
    const int status = MMDB_open(file.c_str(), MMDB_MODE_MMAP, &database->handle_->db);
    if (status != MMDB_SUCCESS) {
        error = "cannot read the country database " + file.string() + ": " + MMDB_strerror(status);
        database->handle_.reset();
        database.reset();
        return nullptr;
    }
    return database;
}

std::optional<std::string> CountryDatabase::countryOf(std::string_view address) const {
    if (address.empty() || address.size() >= 64) {
        return std::nullopt;
    }
    std::array<char, 64> text{};
    std::memcpy(text.data(), address.data(), address.size());
    int addressError = 0;
    int databaseError = 0;
    MMDB_lookup_result_s result =
        MMDB_lookup_string(&handle_->db, text.data(), &addressError, &databaseError);
    if (addressError != 0 || databaseError != MMDB_SUCCESS || !result.found_entry) {
        return std::nullopt;
    }
    // The CC0 databases keep "country_code"; GeoLite2 and DB-IP keep country.iso_code.
    const std::array<std::array<const char*, 3>, 3> paths{{
        {"country_code", nullptr, nullptr},
        {"country", "iso_code", nullptr},
        {"registered_country", "iso_code", nullptr},
    }};
    for (const auto& path : paths) {
        MMDB_entry_data_s data{};
        int status = 0;
        if (path[1] == nullptr) {
            status = MMDB_get_value(&result.entry, &data, path[0], nullptr);
        } else {
            status = MMDB_get_value(&result.entry, &data, path[0], path[1], nullptr);
        }
        if (status == MMDB_SUCCESS && data.has_data && data.type == MMDB_DATA_TYPE_UTF8_STRING &&
            data.data_size == 2) {
            std::string code(data.utf8_string, 2);
            for (char& c : code) {
                if (c >= 'a' && c <= 'z') {
                    c = static_cast<char>(c - 32);
                }
            }
            return code;
        }
    }
    return std::nullopt;
}

namespace {

std::filesystem::path programFolder() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : self.parent_path();
}

}  // namespace

std::filesystem::path defaultCountryDatabase() {
    const std::filesystem::path name = KESTRAND_COUNTRY_DB_NAME;
    std::vector<std::filesystem::path> candidates;
    if (const std::filesystem::path folder = programFolder(); !folder.empty()) {
        candidates.push_back(folder / "../share/kestrand" / name);
    }
    candidates.push_back(std::filesystem::path(KESTRAND_INSTALL_DATA_DIR) / name);
    candidates.push_back(std::filesystem::path(KESTRAND_BUILD_DATA_DIR) / name);
    for (const auto& candidate : candidates) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec)) {
            return candidate.lexically_normal();
        }
    }
    return {};
}

std::filesystem::path defaultAgentRegexes() { return KESTRAND_UAP_REGEXES; }

}  // namespace kestrand::reports
