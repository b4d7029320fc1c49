#include "trailscan/log/source.h"

#include <algorithm>
#include <cctype>

#include "trailscan/gz/gz_reader.h"

namespace trailscan::log {

bool isCompressedName(std::string_view name) {
    constexpr std::string_view kEnd = ".gz";
    return name.size() >= kEnd.size() &&
           std::equal(kEnd.begin(), kEnd.end(), name.end() - kEnd.size(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(b)) == a;
           });
}

Source::Source(std::FILE* file) : file_(file) {}

Source::~Source() {
    gz_.reset();
    std::fclose(file_);
}

std::shared_ptr<Source> Source::open(const std::filesystem::path& path, std::string& error) {
    std::FILE* file = file_io::openRegularForReading(path, error);
    if (file == nullptr) {
        return nullptr;
    }
    std::shared_ptr<Source> source(new Source(file));
    if (isCompressedName(path.filename().string())) {
        unsigned char head[2] = {};
        const std::int64_t got =
            file_io::readAt(file, 0, reinterpret_cast<char*>(head), sizeof head);
        if (!gz::startsGzip(head, static_cast<std::size_t>(std::max<std::int64_t>(got, 0)))) {
            error = "It is not gzip-compressed, though its name ends in .gz.";
            return nullptr;
        }
        source->gz_ = std::make_unique<gz::GzReader>(
            [file](std::int64_t offset, char* into, std::size_t size) {
                return file_io::readAt(file, offset, into, size);
            },
            file_io::stampOf(file).size);
    }
    return source;
}

std::int64_t Source::readAt(std::int64_t offset, char* into, std::size_t size) {
    return gz_ ? gz_->readAt(offset, into, size) : file_io::readAt(file_, offset, into, size);
}

std::int64_t Source::size() { return gz_ ? gz_->size() : std::max<std::int64_t>(stamp().size, 0); }

bool Source::sizeKnown() const { return gz_ == nullptr || gz_->complete(); }

bool Source::readThrough(const std::atomic<bool>* cancel,
                         const std::function<void(std::int64_t)>& progress) {
    return gz_ == nullptr || gz_->readThrough(cancel, progress);
}

std::int64_t Source::fileBytesRead() const { return gz_ ? gz_->fileBytesRead() : 0; }

std::optional<std::string> Source::damage() const { return gz_ ? gz_->damage() : std::nullopt; }

std::string damageSentence(const std::string& damage) {
    std::string sentence = damage;
    if (!sentence.empty()) {
        sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
    }
    return sentence + ": the log ends there.";
}

}  // namespace trailscan::log
