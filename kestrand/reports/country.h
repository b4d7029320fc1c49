#pragma once

// Where a destination address lies: the local network, or a country by a country database in
// MaxMind's format.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kestrand::reports {

// Private (10/8, 172.16/12, 192.168/16, fc00::/7), loopback or link-local, IPv4 or IPv6.
bool isLocalAddress(std::string_view address);

class CountryDatabase {
  public:
    static std::unique_ptr<CountryDatabase> open(const std::filesystem::path& file,
                                                 std::string& error);
    ~CountryDatabase();
    CountryDatabase(const CountryDatabase&) = delete;
    CountryDatabase& operator=(const CountryDatabase&) = delete;

    // The two-letter code in capitals; nothing when the address is not one or not known.
    // Thread-safe.
    std::optional<std::string> countryOf(std::string_view address) const;

  private:
    CountryDatabase();
    struct Handle;
    std::unique_ptr<Handle> handle_;
};

// The installed country database beside the program, in the install tree or in the build
// tree; empty when none is there.
std::filesystem::path defaultCountryDatabase();
// uap-core's regexes.yaml as installed.
std::filesystem::path defaultAgentRegexes();

}  // namespace kestrand::reports
