#include "bench/bench_logs.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <fstream>

namespace bench {

namespace fs = std::filesystem;

std::string logLine(std::uint64_t n) {
    static const char* users[] = {"ALIREZA", "anonymous", "MARYAM", "reza.k", "SHIRIN", "-"};
    static const char* sites[] = {"www.example.com", "mail.example.org", "news.example.net",
                                  "search.example.org", "images.example.net"};
    const std::string site = sites[n % 5];
    std::string line;
    line.reserve(300);
    line += "192.168." + std::to_string(n % 200) + "." + std::to_string(1 + n % 250);
    line += std::string(", ") + users[n % 6];
    line += ", Mozilla/4.0 (compatible; MSIE 5.5; Windows 98), Y, -, 2/14/01, ";
    line += std::to_string(10 + n % 14) + ":" + std::to_string(10 + n % 50) + ":" +
            std::to_string(10 + n % 49);
    line += ", " + site + ", W3Proxy, PROXY1, -, 10.0.0.1, 80, " + std::to_string(n % 4000);
    line += ", " + std::to_string(200 + n % 700) + ", " + std::to_string(300 + n % 60000);
    line += ", http, TCP, GET, http://" + site + "/page" + std::to_string(n) + ".html";
    line += ", text/html, Inet, 200\r\n";
    return line;
}

fs::path generatedLog(std::uint64_t bytes) {
    const char* folder = std::getenv("TS_BENCH_DIR");
    const fs::path dir =
        folder != nullptr ? fs::path(folder) : fs::temp_directory_path() / "trailscan-bench";
    fs::create_directories(dir);
    const fs::path path = dir / ("X3" + std::to_string(bytes >> 20) + "M.log");
    std::error_code error;
    if (fs::exists(path, error) && fs::file_size(path, error) >= bytes) {
        return path;
    }
    const fs::path partial = path.string() + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        std::string chunk;
        std::uint64_t written = 0;
        for (std::uint64_t n = 0; written < bytes; ++n) {
            chunk += logLine(n);
            if (chunk.size() >= (1u << 20)) {
                out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
                written += chunk.size();
                chunk.clear();
            }
        }
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    }
    fs::rename(partial, path);
    return path;
}

void measureWcL(benchmark::State& state, std::uint64_t bytes) {
    const auto path = generatedLog(bytes);
    const std::string command = "wc -l '" + path.string() + "' > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("wc -l failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fs::file_size(path)));
}

#ifndef _WIN32
bool evict(const fs::path& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    const bool done =
        ::fdatasync(descriptor) == 0 && ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_DONTNEED) == 0;
    ::close(descriptor);
    return done;
}

bool warm(const fs::path& path) {
    const std::string command = "cat '" + path.string() + "' > /dev/null";
    return std::system(command.c_str()) == 0;
}

void forEachColdRun(benchmark::State& state, const fs::path& path,
                    const std::function<void()>& step) {
    for (auto _ : state) {
        state.PauseTiming();
        if (!evict(path)) {
            state.SkipWithError("cannot evict the log from the page cache");
            return;
        }
        state.ResumeTiming();
        step();
    }
}

void measureCatCold(benchmark::State& state, const fs::path& path) {
    const std::string command = "cat '" + path.string() + "' > /dev/null";
    forEachColdRun(state, path, [&] {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("cat failed");
        }
    });
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fs::file_size(path)));
}
#endif

std::uint64_t bigLogBytes() {
    const char* gigabytes = std::getenv("TS_BENCH_GB");
    return (gigabytes != nullptr ? std::strtoull(gigabytes, nullptr, 10) : 4) << 30;
}

void measureWcLWarm(benchmark::State& state) {
    if (!warm(generatedLog(bigLogBytes()))) {
        state.SkipWithError("cannot read the generated log");
        return;
    }
    measureWcL(state, bigLogBytes());
}

}  // namespace bench
