#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// A fresh folder for one test, removed with the object.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Writes the bytes exactly as given and returns the file's full path.
    std::filesystem::path write(const std::string& name, std::string_view bytes) const;

  private:
    std::filesystem::path path_;
};

// One log line of 23 fields joined by ", " and ended by CR LF.
std::string logLine(const std::vector<std::string>& fields);

// A realistic 23-field line for record number n, user and site varying with n.
std::vector<std::string> sampleFields(int n);

// A line of exactly `length` bytes (CR LF included, length >= 69): 23 fields, the last
// padded so the line reaches the length. Field 0 is "r<n>" so the record can be told apart.
std::string lineOfLength(int n, int length);

// Lines of the given byte lengths, built as lineOfLength builds them; field 0 of line n
// (from 1) reads "<prefix><n>".
std::string linesOfLengths(const std::vector<int>& lengths, const std::string& prefix = "r");

// Truncates the file and writes the bytes into it, keeping its inode, as a program that
// rewrites a log in place does.
void rewriteInPlace(const std::filesystem::path& file, std::string_view bytes);

// `bytes` as one gzip member, compressed at `level`; `flushEvery` > 0 ends a deflate block every
// so many input bytes, so even a small file has several.
std::string gzipped(std::string_view bytes, int level = 6, std::size_t flushEvery = 0);

// What zlib inflates from gzip data, member after member, up to where it ends or is damaged.
std::string inflated(std::string_view gz);

}  // namespace testing_support
