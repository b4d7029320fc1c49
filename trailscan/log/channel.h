#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "trailscan/log/file_io.h"
#include "trailscan/log/source.h"

namespace trailscan::log {

// A log file opened for sequential input: read a field, read a line, test for the end,
// tell and set the byte position (counted from 1). Reads go through a buffer of its own,
// so a seek within the buffer costs nothing and one outside it costs one read.
class Channel {
  public:
    Channel();
    ~Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    // Opens `path` for input at position 1, closing whatever was open. Returns an error
    // sentence when the file is not a readable regular file; the channel is then closed.
    // A compressed log opened again unchanged right after close() keeps what the first reading
    // learnt of it (its access points), so the reading after the line count starts at once.
    std::optional<std::string> open(const std::filesystem::path& path);
    void close();
    bool isOpen() const { return source_ != nullptr; }

    // True when no byte remains after the position (also when closed). Looks at the
    // file again each time, so bytes appended since the last look are seen.
    bool eof();
    // Number of the byte the next read takes; 1 is the first byte of the file.
    std::int64_t position() const { return bufferStart_ + static_cast<std::int64_t>(next_) + 1; }
    // Sets the position; values below 1 are taken as 1.
    void seek(std::int64_t position);

    // Forgets the buffered bytes when the file has changed since they were read (appended
    // to, truncated or rewritten while open), so the next read takes the bytes the file
    // holds now at the same position. Costs one look at the file's size and time.
    void refresh();

    // The open log (null when closed), for a reader that takes bytes at offsets of its own,
    // such as the fast line count; go on with reloadAt(), not seek(), after such reads.
    Source* source() const { return source_.get(); }
    const std::shared_ptr<Source>& sharedSource() const { return source_; }
    // Sets the position and forgets the buffered bytes, so the next read takes them from
    // the file whatever was read through file() meanwhile.
    void reloadAt(std::int64_t position);

    // Reads the next field into `value`: blanks in front are skipped, the field ends at a
    // comma, a line end (CR LF or a bare LF) or the end of the file, and the delimiter is
    // consumed. Keeps at most kMaxFieldLength bytes; returns the field's full length.
    std::size_t readField(std::string& value);

    // Reads up to and including the next line end. An LF that ends a CR LF begun before
    // the position belongs to that line end, so a read starting on it runs on to the
    // next line end.
    void readLine();

    // Reads to the end of the file and returns how many lines it held from the
    // position on; a last line without a line end counts too.
    std::int64_t countLinesToEnd();

  private:
    bool fill();  // next_ reached end_: loads the following bytes; false at end of file
    bool loadAt(std::int64_t offset);  // loads the buffer starting at a 0-based offset
    bool readBuffer();                 // fills the buffer from bufferStart_

    std::shared_ptr<Source> source_;
    std::filesystem::path path_;
    // The compressed log closed last, and its path, for an open of it again.
    std::shared_ptr<Source> closed_;
    std::filesystem::path closedPath_;
    std::vector<char> buffer_;
    std::int64_t bufferStart_ = 0;  // 0-based file offset of buffer_[0]
    std::size_t next_ = 0;          // index of the next byte to read
    std::size_t end_ = 0;           // bytes held in buffer_
    int beforeBuffer_ = -1;         // the byte before buffer_[0], -1 at the start of the file
    file_io::FileStamp stamp_;      // the file as refresh() last saw it
};

}  // namespace trailscan::log
