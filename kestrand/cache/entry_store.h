#pragma once

// A folder of entries, one file each, named by a key. An entry is written into a temporary
// file and renamed into place, so that any number of processes share the folder and a reader
// never sees half an entry; a write that fails (a full disk, no permission) leaves the entry
// before it as it was. Reading an entry marks it used; trim() keeps the folder under a bound
// by removing the least recently used first.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kestrand/cache/open_file.h"

namespace kestrand::cache {

class EntryStore {
  public:
    explicit EntryStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

    const std::filesystem::path& folder() const { return folder_; }
    // The entry's bytes; nothing when there is none or it cannot be read.
    std::optional<std::string> load(std::string_view key) const;
    // The entry held open, marking it used: what it holds stays readable when another
    // process writes the entry again. Nothing when there is none or it cannot be opened.
    std::shared_ptr<const OpenFile> open(std::string_view key) const;
    std::filesystem::path pathOf(std::string_view key) const;
    // False and why when the entry could not be written whole.
    bool store(std::string_view key, std::string_view bytes, std::string& error) const;
    // The same, the entry's bytes given in pieces, one after another.
    bool store(std::string_view key, const std::vector<std::string_view>& pieces,
               std::string& error) const;
    void remove(std::string_view key) const;
    // Removes the entries `gone` names (it is given an entry's first bytes), then the least
    // recently used until the rest take at most maxBytes, and temporary files left by a
    // process that ended before its rename.
    void trim(std::uint64_t maxBytes,
              const std::function<bool(std::string_view firstBytes)>& gone) const;

  private:
    std::filesystem::path folder_;
};

// A key for any text: 16 hex digits of its XXH3.
std::string keyOf(std::string_view text);

}  // namespace kestrand::cache
