#include "kestrand/reports/sources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace kestrand::reports {

std::string errnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

int openRegular(const std::filesystem::path& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error =
            errno == EACCES ? std::string("no permission to read it") : errnoText("cannot open it");
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = "not a regular file";
        return -1;
    }
    return fd;
}

ssize_t readAt(int fd, char* into, std::size_t size, std::uint64_t offset) {
    for (;;) {
        const ssize_t n = ::pread(fd, into, size, static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

namespace {

class PlainSource : public Source {
  public:
    PlainSource(int fd, std::uint64_t from, std::uint64_t limit)
        : fd_(fd), offset_(from), limit_(limit) {}
    std::size_t read(char* into, std::size_t size) override {
        if (offset_ >= limit_ || error) {
            return 0;
        }
        size = static_cast<std::size_t>(std::min<std::uint64_t>(size, limit_ - offset_));
        const ssize_t n = readAt(fd_, into, size, offset_);
        if (n < 0) {
            error = errnoText("a read failed");
            return 0;
        }
        if (n == 0) {
            error =
                "the file became shorter while it was read; the lines before that point "
                "are counted";
            return 0;
        }
        offset_ += static_cast<std::uint64_t>(n);
        consumed += static_cast<std::uint64_t>(n);
        return static_cast<std::size_t>(n);
    }

  private:
    int fd_;
    std::uint64_t offset_;
    std::uint64_t limit_;
};

class GzipSource : public Source {
  public:
    explicit GzipSource(int fd) : fd_(fd), input_(256 * 1024) {
        // 32 + 15: a gzip or zlib header, detected.
        ready_ = inflateInit2(&stream_, 32 + 15) == Z_OK;
        if (!ready_) {
            error = "the decompressor could not start";
        }
    }
    ~GzipSource() override {
        if (ready_) {
            inflateEnd(&stream_);
        }
    }
    GzipSource(const GzipSource&) = delete;
    GzipSource& operator=(const GzipSource&) = delete;

    std::size_t read(char* into, std::size_t size) override {
        if (!ready_ || finished_) {
            return 0;
        }
        stream_.next_out = reinterpret_cast<Bytef*>(into);
        stream_.avail_out = static_cast<uInt>(size);
        while (stream_.avail_out > 0) {
            if (stream_.avail_in == 0 && !inputEnd_) {
                const ssize_t n = ::read(fd_, input_.data(), input_.size());
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n < 0) {
                    error = errnoText("a read failed");
                    finished_ = true;
                    break;
                }
                consumed += static_cast<std::uint64_t>(n);
                if (n == 0) {
                    inputEnd_ = true;
                } else {
                    stream_.next_in = input_.data();
                    stream_.avail_in = static_cast<uInt>(n);
                }
            }
            if (stream_.avail_in == 0 && inputEnd_) {
                if (!memberEnded_) {
                    error =
                        "the compressed data ends early (a truncated .gz); the lines before "
                        "that point are counted";
                }
                finished_ = true;
                break;
            }
            if (memberEnded_) {
                // Another gzip member follows the one that ended.
                inflateReset(&stream_);
                memberEnded_ = false;
            }
            const int status = inflate(&stream_, Z_NO_FLUSH);
            if (status == Z_STREAM_END) {
                memberEnded_ = true;
                continue;
            }
            if (status == Z_BUF_ERROR) {
                continue;
            }
            if (status != Z_OK) {
                if (!sawMember_ || !memberEnded_) {
                    error =
                        "the compressed data is damaged; the lines before that point are "
                        "counted";
                }
                finished_ = true;
                break;
            }
            sawMember_ = true;
        }
        return size - stream_.avail_out;
    }

  private:
    int fd_;
    std::vector<unsigned char> input_;
    z_stream stream_{};
    bool ready_ = false;
    bool inputEnd_ = false;
    bool memberEnded_ = false;
    bool sawMember_ = false;
    bool finished_ = false;
};

}  // namespace

std::unique_ptr<Source> makePlainSource(int fd, std::uint64_t from, std::uint64_t limit) {
    return std::make_unique<PlainSource>(fd, from, limit);
}

std::unique_ptr<Source> makeGzipSource(int fd) { return std::make_unique<GzipSource>(fd); }

}  // namespace kestrand::reports
