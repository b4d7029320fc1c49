#include "tests/support/test_files.h"

#include <zlib.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>

namespace testing_support {

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    const auto base = fs::temp_directory_path();
    for (;;) {
        // The clock keeps test programs that run side by side apart.
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        auto candidate =
            base / ("trailscan-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

fs::path TempDir::write(const std::string& name, std::string_view bytes) const {
    const auto file = path_ / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write test file " + file.string());
    }
    return file;
}

std::string logLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ", ";
        line += fields[i];
    }
    line += "\r\n";
    return line;
}

std::vector<std::string> sampleFields(int n) {
    const std::string users[] = {"ALIREZA", "anonymous", "MARYAM", "reza", "SHIRIN"};
    const std::string sites[] = {"www.example.com", "mail.example.org", "news.example.net",
                                 "ftp.example.com", "search.example.org"};
    std::vector<std::string> fields = {
        "192.168.1." + std::to_string(n % 250 + 1),
        users[n % 5],
        "Mozilla/4.0",
        "Y",
        "-",
        "2/14/01",
        "10:" + std::to_string(10 + n % 50) + ":00",
        sites[n % 5],
        "W3Proxy",
        "PROXY1",
        "-",
        "10.0.0.1",
        "80",
        std::to_string(100 + n),
        "512",
        "4096",
        "http",
        "TCP",
        "GET",
        "http://" + sites[n % 5] + "/page" + std::to_string(n) + ".html",
        "text/html",
        "Inet",
        "200",
    };
    return fields;
}

namespace {

std::string paddedLine(const std::string& first, int length) {
    std::vector<std::string> fields(23, "x");
    fields[0] = first;
    std::string line = logLine(fields);
    if (static_cast<int>(line.size()) > length) {
        throw std::invalid_argument("line too short for its fields");
    }
    fields[22] += std::string(static_cast<std::size_t>(length) - line.size(), 'x');
    return logLine(fields);
}

}  // namespace

std::string lineOfLength(int n, int length) { return paddedLine("r" + std::to_string(n), length); }

std::string linesOfLengths(const std::vector<int>& lengths, const std::string& prefix) {
    std::string bytes;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        bytes += paddedLine(prefix + std::to_string(i + 1), lengths[i]);
    }
    return bytes;
}

void rewriteInPlace(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot rewrite test file " + file.string());
    }
}

std::string gzipped(std::string_view bytes, int level, std::size_t flushEvery) {
    z_stream strm{};
    if (deflateInit2(&strm, level, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string out;
    std::vector<unsigned char> buffer(1 << 16);
    const std::size_t piece = flushEvery > 0 ? flushEvery : std::max<std::size_t>(bytes.size(), 1);
    std::size_t at = 0;
    int ret = Z_OK;
    do {
        const std::size_t take = std::min(piece, bytes.size() - at);
        strm.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + at));
        strm.avail_in = static_cast<uInt>(take);
        at += take;
        const int flush = at == bytes.size() ? Z_FINISH : Z_FULL_FLUSH;
        do {
            strm.next_out = buffer.data();
            strm.avail_out = static_cast<uInt>(buffer.size());
            ret = deflate(&strm, flush);
            out.append(reinterpret_cast<char*>(buffer.data()), buffer.size() - strm.avail_out);
        } while (strm.avail_out == 0);
    } while (ret != Z_STREAM_END);
    deflateEnd(&strm);
    return out;
}

std::string inflated(std::string_view gz) {
    std::string out;
    std::vector<unsigned char> buffer(1 << 16);
    std::size_t at = 0;
    while (at + 1 < gz.size() && static_cast<unsigned char>(gz[at]) == 0x1f &&
           static_cast<unsigned char>(gz[at + 1]) == 0x8b) {
        z_stream strm{};
        inflateInit2(&strm, 31);
        strm.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.data() + at));
        strm.avail_in = static_cast<uInt>(gz.size() - at);
        int ret = Z_OK;
        do {
            strm.next_out = buffer.data();
            strm.avail_out = static_cast<uInt>(buffer.size());
            ret = inflate(&strm, Z_NO_FLUSH);
            out.append(reinterpret_cast<char*>(buffer.data()), buffer.size() - strm.avail_out);
        } while (ret == Z_OK);
        at = gz.size() - strm.avail_in;
        inflateEnd(&strm);
        if (ret != Z_STREAM_END) {
            break;
        }
        while (at < gz.size() && gz[at] == 0) {
            ++at;
        }
    }
    return out;
}

}  // namespace testing_support
