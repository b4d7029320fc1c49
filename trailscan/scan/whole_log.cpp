#include "trailscan/scan/whole_log.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#endif

#include "common/aligned_bytes.h"
#include "common/number_text.h"
#include "trailscan/log/field_bytes.h"
#include "trailscan/log/file_io.h"
#include "trailscan/log/format.h"
#include "trailscan/scan/byte_find.h"
#include "trailscan/scan/piece_reader.h"
#include "trailscan/scan/report_bytes.h"

namespace trailscan::scan {

using common::grouped;
using common::sizeText;
using table::kLineBreak;
using table::kReportEntrySeparator;
using table::kReportFieldSeparator;
using table::matches;
using table::reportStopsLine;
using table::SelectorKind;
using Matcher = regex::FieldPattern::Matcher;

namespace {

constexpr std::int64_t kFields = log::kFieldCount;
// Bytes read past a block at a time while looking for the end of its last record: first a
// little, as the rest of a record is a few hundred bytes, then twice what was read so far.
constexpr std::size_t kFirstTail = 4 * 1024;
// A record-number search reads its record this much at a time at first.
constexpr std::size_t kTailStep = 64 * 1024;
// A field up to this long is copied into a block's results; a longer one stays in the file
// until the report is written, so results hold a few bytes for it however long it is.
constexpr std::size_t kCopiedFieldBytes = 64 * 1024;
// How many blocks the workers may run ahead of the report, so the finished but not yet
// reported results stay a few blocks' worth: each block's results grow with its hits, up to
// the report's capacity, with the fields longer than kCopiedFieldBytes left in the file.
constexpr std::size_t kBlocksAhead = 8;
// A find farther ahead than this is reached by counting field ends, a nearer one record by
// record.
constexpr std::size_t kCountFrom = 1024;
// The finders are planned on this many bytes of the first block read.
constexpr std::size_t kSampleBytes = 32 * 1024;

// How often a worker looks whether the block before it is counted before it sleeps.
constexpr int kSpinsForCount = 4000;

std::int64_t ceilDiv(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }

// A hint to the processor that this thread is waiting on another.
inline void spinHint() {
#if defined(__x86_64__) || defined(_M_X64)
    _mm_pause();
#elif defined(__aarch64__) && defined(__GNUC__)
    __asm__ __volatile__("yield");
#else
    std::this_thread::yield();
#endif
}

// Where a match of a regular expression may end, from a place on. The block scanner runs over
// the rest of the block; but when every match holds a literal and is at most kWindowBytes long,
// the literal is found as the text searches find their text and the block scanner runs only
// around each occurrence, which passes over blocks without one at the finder's speed. After
// kMissesBeforeBlocks occurrences in a row without a match it scans the rest of the block.
class PatternCandidates {
  public:
    PatternCandidates(const regex::FieldPattern& pattern, Matcher& matcher, ByteFinder finder)
        : matcher_(matcher),
          finder_(finder),
          literalBytes_(pattern.literal().size()),
          width_(pattern.maxMatchBytes()),
          byLiteral_(pattern.scansBlocks() && literalBytes_ > 0 && width_ <= kWindowBytes) {}

    std::size_t next(std::string_view bytes, std::size_t from) {
        if (!byLiteral_) {
            return matcher_.nextCandidate(bytes, from);
        }
        for (int misses = 0; misses < kMissesBeforeBlocks; ++misses) {
            const std::size_t found = finder_.find(bytes, from);
            if (found == std::string_view::npos) {
                return found;
            }
            // A match that holds this occurrence begins at most width_ bytes before its end
            // and ends at most width_ bytes after its start.
            const std::size_t begin =
                found + literalBytes_ > from + width_ ? found + literalBytes_ - width_ : from;
            const std::size_t candidate = matcher_.nextCandidate(bytes, begin, found + width_ + 1);
            if (candidate != std::string_view::npos) {
                return candidate;
            }
            from = found + 1;
        }
        return matcher_.nextCandidate(bytes, from);
    }

  private:
    static constexpr std::size_t kWindowBytes = 4096;
    static constexpr int kMissesBeforeBlocks = 32;
    Matcher& matcher_;
    ByteFinder finder_;
    std::size_t literalBytes_;
    std::size_t width_;
    bool byLiteral_;
};

// One record's fields, found 64 bytes at a time; a value is taken out only when asked for.
struct RecordSpan {
    // Only the first `fields` entries are set.
    std::array<std::size_t, log::kFieldCount> begins;
    std::array<std::size_t, log::kFieldCount> ends;
    int fields = 0;  // fewer than 23 where the file ended first
    std::size_t next = 0;

    std::string_view field(std::string_view bytes, int k) const {
        if (k >= fields) {
            return {};
        }
        const auto i = static_cast<std::size_t>(k);
        return log::fieldSpan(bytes, begins[i], ends[i]).value(bytes);
    }
};

// The record at `at`, its first `wanted` fields taken apart (a column search needs no more
// than its column and the site) and the rest only passed over.
RecordSpan recordAt(std::string_view bytes, std::size_t at, int wanted = log::kFieldCount) {
    RecordSpan record;
    std::array<std::size_t, log::kFieldCount> found;
    const int count =
        log::findFieldEnds(bytes.data() + at, bytes.size() - at, found.data(), wanted);
    std::size_t begin = at;
    for (int k = 0; k < count; ++k) {
        const auto i = static_cast<std::size_t>(k);
        record.begins[i] = begin;
        record.ends[i] = at + found[i];
        begin = record.ends[i] + 1;
    }
    record.fields = count;
    if (count < wanted) {
        if (begin < bytes.size()) {
            // The last field of the file, ended by the end of the file.
            record.begins[static_cast<std::size_t>(count)] = begin;
            record.ends[static_cast<std::size_t>(count)] = bytes.size();
            record.fields = count + 1;
        }
        record.next = bytes.size();
        return record;
    }
    if (wanted < log::kFieldCount && begin < bytes.size()) {
        const std::size_t rest = log::findFieldEnd(bytes.data() + begin, bytes.size() - begin,
                                                   log::kFieldCount - wanted);
        begin = std::min(bytes.size(), begin + rest + 1);
    }
    record.next = begin;
    return record;
}

// A field's value into a report: copied, or left in the file when it is long. `bytes` begin
// at file offset `base`.
void appendValue(ReportBytes& report, std::string_view value, std::string_view bytes,
                 std::int64_t base) {
    if (value.size() <= kCopiedFieldBytes) {
        report.append(value);
        return;
    }
    const std::int64_t begin = base + (value.data() - bytes.data());
    report.append(FileRange{begin, begin + static_cast<std::int64_t>(value.size())});
}

// The all-fields entry of record `index`: its number, "- ", then each of its 23 fields as
// `appendField(entry, k)` puts it, followed by the report's field separator.
template <typename AppendField>
void buildEntry(ReportBytes& entry, std::int64_t index, AppendField&& appendField) {
    entry.clear();
    entry.append(std::to_string(index));
    entry.append(kReportEntrySeparator);
    for (int k = 0; k < log::kFieldCount; ++k) {
        appendField(entry, k);
        entry.append(kReportFieldSeparator);
    }
}

// Hands a report to the sink in order, reading the fields left in the file as it goes.
class ReportWriter {
  public:
    ReportWriter(log::Source* file, std::int64_t size, const ReportSink& sink)
        : reader_(file, size), sink_(sink) {}

    void write(std::string_view piece) {
        if (piece.empty()) {
            return;
        }
        sink_(piece);
        endsWithLineBreak_ = piece.ends_with(kLineBreak);
    }
    // The first `size` bytes of `report`; false when the file came up short.
    bool write(const ReportBytes& report, std::size_t size) {
        const auto piece = [this](std::string_view bytes) { write(bytes); };
        return report.visit(size, piece, [&](FileRange range) {
            return reader_.read(range, piece) == ReadEnd::Done;
        });
    }
    // A line of its own: a line break first unless the report so far ends with one.
    void writeLine(std::string_view line) {
        if (!endsWithLineBreak_) {
            write(kLineBreak);
        }
        write(line);
        write(kLineBreak);
    }

  private:
    PieceReader reader_;
    const ReportSink& sink_;
    bool endsWithLineBreak_ = true;
};

// What one block gave: its report and where each listed hit ends in it.
struct BlockResult {
    ReportBytes report;
    std::vector<std::size_t> hitEnds;
    std::uint64_t unbuilt = 0;  // hits past what the report can hold: counted only
    std::int64_t bytes = 0;
    std::int64_t endRecord = 0;
    bool failed = false;  // the file came up short: nothing from here on is reported
    // A field took the regular expression past its limit in this record: the records before
    // it are in the report, nothing after.
    std::optional<std::int64_t> limitRecord;
    std::uint64_t clipped = 0;  // records with a field matched on its first bytes only
    std::int64_t firstClipped = 0;
    bool ready = false;
};

// Bytes of one block and what was read past it; its memory is kept from block to block and
// never cleared, since every byte used is read first.
class BlockBuffer {
  public:
    const char* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    void clear() { size_ = 0; }
    // Room for `more` bytes after size(), which the caller fills and then keeps with grow().
    char* reserve(std::size_t more) {
        if (size_ + more > capacity_) {
            const std::size_t capacity = std::max(size_ + more, capacity_ * 2);
            common::AlignedBytes bigger = common::alignedBytes(capacity);
            if (size_ > 0) {
                std::memcpy(bigger.get(), bytes_.get(), size_);
            }
            bytes_ = std::move(bigger);
            capacity_ = capacity;
        }
        return bytes_.get() + size_;
    }
    void grow(std::size_t more) { size_ += more; }

  private:
    common::AlignedBytes bytes_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
};

struct Block {
    std::int64_t begin = 0;
    std::int64_t end = 0;
    std::int64_t fieldEnds = -1;  // commas and LFs in [begin, end); -1 until counted
};

class Scan {
  public:
    Scan(log::Source* file, std::int64_t size, const WholeLogQuery& query, ScanControl& control,
         const ReportSink& sink, const ScanTuning& tuning)
        : file_(file),
          size_(size),
          query_(query),
          control_(control),
          tuning_(tuning),
          writer_(file, size, sink),
          reportSize_(query.used) {}

    // Progress counts the file's bytes: for a compressed log, this many a byte of its data.
    // `ahead`: the progress already made before the scan (a compressed log's first pass).
    void scaleProgress(double scale, std::int64_t ahead) {
        progressScale_ = scale;
        progressAhead_ = ahead;
    }

    void plan(const log::FieldIndex* index, std::int64_t blockBytes) {
        std::int64_t at = 0;
        if (index != nullptr && index->marks.size() > 1 && index->endOffset() <= size_) {
            // From mark to mark, marks closer than a block taken together.
            const auto& marks = index->marks;
            for (std::size_t i = 0; i + 1 < marks.size();) {
                std::size_t j = i + 1;
                while (j + 1 < marks.size() && marks[j].offset - marks[i].offset < blockBytes) {
                    ++j;
                }
                blocks_.push_back(
                    {marks[i].offset, marks[j].offset, marks[j].fieldEnds - marks[i].fieldEnds});
                i = j;
            }
            at = index->endOffset();
        }
        for (; at < size_; at += blockBytes) {
            blocks_.push_back({at, std::min(size_, at + blockBytes), -1});
        }
        results_.resize(blocks_.size());
        fieldEndsBefore_ = std::make_unique<std::atomic<std::int64_t>[]>(blocks_.size() + 1);
        for (std::size_t i = 0; i <= blocks_.size(); ++i) {
            fieldEndsBefore_[i].store(i == 0 ? 0 : -1, std::memory_order_relaxed);
        }
        for (std::size_t i = 0; i < blocks_.size() && blocks_[i].fieldEnds >= 0; ++i) {
            fieldEndsBefore_[i + 1].store(fieldEndsBefore_[i] + blocks_[i].fieldEnds,
                                          std::memory_order_relaxed);
        }
    }

    void run(int threads) {
        std::vector<std::thread> helpers;
        for (int t = 1; t < threads && static_cast<std::size_t>(t) < blocks_.size(); ++t) {
            try {
                helpers.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                break;
            }
        }
        work();
        for (auto& helper : helpers) {
            helper.join();
        }
    }

    // `damage`: why a compressed log's data ended before its file, said in a line at the end.
    ScanOutcome finish(const std::optional<std::string>& damage) {
        ScanOutcome outcome;
        outcome.fileSize = size_;
        outcome.stoppedAt = stoppedAt_;
        outcome.nextRecord = nextRecord_;
        outcome.matches = matches_;
        outcome.unlisted = unlisted_;
        // A file cut after its blocks were read has changed too.
        const bool cut = !changed_ && reported_ == blocks_.size() && file_->size() < size_;
        if (changed_ || cut) {
            outcome.end = ScanEnd::Changed;
        } else if (limitRecord_) {
            outcome.end = ScanEnd::PatternLimit;
        } else if (reported_ < blocks_.size()) {
            outcome.end = ScanEnd::Cancelled;
        }
        if (clipped_ > 0) {
            writer_.writeLine(clippedLine());
        }
        if (unlisted_ > 0) {
            writer_.writeLine(reportStopsLine(query_.capacity, unlisted_));
        }
        if (outcome.end != ScanEnd::Complete) {
            writer_.writeLine(stoppedLine(outcome));
        } else if (damage) {
            writer_.writeLine(log::damageSentence(*damage));
        }
        return outcome;
    }

  private:
    std::string clippedLine() const {
        const std::string first = grouped(static_cast<std::uint64_t>(firstClipped_));
        const std::string limit = sizeText(static_cast<std::uint64_t>(kPatternFieldBytes));
        if (clipped_ == 1) {
            return "Record " + first + " has a field longer than " + limit +
                   ": the regular expression was tried on its first " + limit + " only.";
        }
        return grouped(clipped_) + " records, the first record " + first +
               ", have a field longer than " + limit +
               ": the regular expression was tried on their first " + limit + " only.";
    }

    // Blocks after one the file came up short in, and every block after a cancel, are left.
    bool stopping(std::size_t b) const {
        return b > failedBlock_ || control_.cancel.load(std::memory_order_relaxed);
    }

    // Reads [offset, offset + size) of the file onto the end of `buffer`; false when the file
    // gave fewer bytes, so it was cut or could not be read.
    bool readOnto(BlockBuffer& buffer, std::int64_t offset, std::size_t size) {
        const std::int64_t got = file_->readAt(offset, buffer.reserve(size), size);
        if (got != static_cast<std::int64_t>(size)) {
            return false;
        }
        buffer.grow(size);
        return true;
    }

    void work() {
        BlockBuffer buffer;
        std::optional<Matcher> matcher;
        if (query_.pattern != nullptr) {
            matcher.emplace(*query_.pattern);
        }
        Matcher* const m = matcher ? &*matcher : nullptr;
        for (;;) {
            std::size_t b = 0;
            {
                std::unique_lock lock(mutex_);
                b = nextBlock_++;
                if (b >= blocks_.size()) {
                    return;
                }
                changedCondition_.wait(lock,
                                       [&] { return stopping(b) || b < reported_ + kBlocksAhead; });
                if (stopping(b)) {
                    return;
                }
            }
            std::optional<BlockResult> result = runBlock(b, buffer, m);
            if (!result) {
                return;
            }
            std::lock_guard lock(mutex_);
            if (result->limitRecord) {
                failedBlock_ = std::min(failedBlock_, b);  // the blocks after it are left
            }
            results_[b] = std::move(*result);
            results_[b].ready = true;
            report();
            changedCondition_.notify_all();
        }
    }

    // Publishes a block's count of field ends, so later blocks know where they stand.
    void publishCount(std::size_t b, std::int64_t count) {
        std::lock_guard lock(mutex_);
        blocks_[b].fieldEnds = count;
        for (std::size_t i = b; i < blocks_.size() && fieldEndsBefore_[i] >= 0 &&
                                blocks_[i].fieldEnds >= 0 && fieldEndsBefore_[i + 1] < 0;
             ++i) {
            fieldEndsBefore_[i + 1].store(fieldEndsBefore_[i] + blocks_[i].fieldEnds,
                                          std::memory_order_release);
        }
        changedCondition_.notify_all();
    }

    std::optional<std::int64_t> waitForFieldEndsBefore(std::size_t b) {
        // The block before is usually microseconds from counted, on another core: a short spin
        // costs less than sleeping and being woken.
        for (int spin = 0;
             spin < kSpinsForCount && !control_.cancel.load(std::memory_order_relaxed); ++spin) {
            if (const std::int64_t known = fieldEndsBefore_[b].load(std::memory_order_acquire);
                known >= 0) {
                return known;
            }
            spinHint();
        }
        std::unique_lock lock(mutex_);
        changedCondition_.wait(lock, [&] { return stopping(b) || fieldEndsBefore_[b] >= 0; });
        if (fieldEndsBefore_[b] < 0) {
            return std::nullopt;
        }
        return fieldEndsBefore_[b];
    }

    BlockResult fail(std::size_t b) {
        BlockResult result;
        result.failed = true;
        std::lock_guard lock(mutex_);
        failedBlock_ = std::min(failedBlock_, b);
        changedCondition_.notify_all();
        return result;
    }

    // Nothing when the search stopped before this block was done.
    std::optional<BlockResult> runBlock(std::size_t b, BlockBuffer& buffer, Matcher* m) {
        const Block block = blocks_[b];
        buffer.clear();
        if (!readOnto(buffer, block.begin, static_cast<std::size_t>(block.end - block.begin))) {
            return fail(b);
        }
        if (block.fieldEnds < 0) {
            publishCount(b, log::countFieldEnds(buffer.data(), buffer.size()));
        }
        const auto before = waitForFieldEndsBefore(b);
        if (!before) {
            return std::nullopt;
        }
        std::call_once(planned_, [&] {
            // The finders' bytes chosen on what this log holds.
            const std::string_view sample(buffer.data(), std::min(buffer.size(), kSampleBytes));
            textFinder_.emplace(query_.text, sample);
            if (query_.pattern != nullptr) {
                literalFinder_.emplace(query_.pattern->literal(), sample);
            }
        });
        const std::int64_t fieldEndsBefore = *before;
        const std::int64_t fieldEndsAfter = fieldEndsBefore + blocks_[b].fieldEnds;
        const bool lastBlock = block.end >= size_;

        BlockResult result;
        result.bytes = block.end - block.begin;
        // The records this block owns: those whose first field begins after a field end in
        // it (record 0 belongs to the first block).
        const std::int64_t firstRecord = b == 0 ? 0 : ceilDiv(fieldEndsBefore + 1, kFields);
        std::int64_t endRecord = lastBlock ? std::numeric_limits<std::int64_t>::max()
                                           : ceilDiv(fieldEndsAfter + 1, kFields);
        endRecord = std::min(endRecord, query_.recordLimit);
        result.endRecord = std::max(endRecord, firstRecord);
        if (firstRecord >= endRecord) {
            return result;
        }
        std::size_t start = 0;
        if (firstRecord > 0) {
            start = log::findFieldEnd(buffer.data(), buffer.size(),
                                      firstRecord * kFields - fieldEndsBefore) +
                    1;
        }
        // The last record ends with the field end that begins record endRecord, which may
        // stand after the block: read on until it is in, or until so much is held that the
        // record is read from the file field by field instead.
        std::size_t ownedEnd = buffer.size();
        const std::size_t blockSize = buffer.size();
        std::optional<std::size_t> longRecordStart;
        if (endRecord != std::numeric_limits<std::int64_t>::max()) {
            std::int64_t wanted = endRecord * kFields - fieldEndsBefore;
            std::size_t from = 0;
            if (wanted > blocks_[b].fieldEnds) {
                // After the block's own field ends: look past its end only.
                wanted -= blocks_[b].fieldEnds;
                from = buffer.size();
            }
            for (;;) {
                const std::size_t found =
                    log::findFieldEnd(buffer.data() + from, buffer.size() - from, wanted);
                if (from + found < buffer.size()) {
                    ownedEnd = from + found + 1;
                    break;
                }
                wanted -= log::countFieldEnds(buffer.data() + from, buffer.size() - from);
                from = buffer.size();
                const std::int64_t offset = block.begin + static_cast<std::int64_t>(from);
                if (offset >= size_) {
                    ownedEnd = buffer.size();
                    break;
                }
                const std::size_t readOn = buffer.size() - blockSize;
                const auto held =
                    static_cast<std::size_t>(std::max<std::int64_t>(tuning_.heldRecordBytes, 0));
                if (readOn >= held) {
                    const std::int64_t last = endRecord - 1;
                    longRecordStart = last == 0
                                          ? 0
                                          : log::findFieldEnd(buffer.data(), blockSize,
                                                              last * kFields - fieldEndsBefore) +
                                                1;
                    break;
                }
                const auto more = static_cast<std::size_t>(std::min<std::int64_t>(
                    size_ - offset, std::min(std::max(kFirstTail, readOn), held - readOn)));
                if (!readOnto(buffer, offset, more)) {
                    return fail(b);
                }
            }
        } else {
            result.endRecord = firstRecord;  // counted below, record by record
        }
        if (!longRecordStart) {
            searchRecords(std::string_view(buffer.data(), ownedEnd), block.begin, start,
                          firstRecord, endRecord, result, m);
            return result;
        }
        searchRecords(std::string_view(buffer.data(), *longRecordStart), block.begin, start,
                      firstRecord, endRecord - 1, result, m);
        if (result.limitRecord) {
            return result;
        }
        switch (evaluateLong(block.begin + static_cast<std::int64_t>(*longRecordStart),
                             endRecord - 1, result, m)) {
            case ReadEnd::Done:
                return result;
            case ReadEnd::Failed:
                return fail(b);
            case ReadEnd::Cancelled:
                break;
        }
        return std::nullopt;
    }

    void addHit(BlockResult& result, const ReportBytes& entry, int copies = 1) {
        for (int c = 0; c < copies; ++c) {
            ++matches_;
            if (full_.load(std::memory_order_relaxed) || result.unbuilt > 0 ||
                result.report.size() + entry.size() > query_.capacity) {
                ++result.unbuilt;
                continue;
            }
            result.report.append(entry);
            result.hitEnds.push_back(result.report.size());
        }
    }

    bool searchesColumn() const { return query_.selector.kind == SelectorKind::Column; }
    bool columnExists() const {
        return query_.selector.column >= 0 && query_.selector.column < log::kFieldCount;
    }

    // Whether `field` matches: holds the text, or the regular expression matches in it. A
    // field that passes the pattern's limit sets `limit`.
    bool fieldMatches(std::string_view field, Matcher* m, bool& limit) const {
        if (m == nullptr) {
            return matches(field, query_.text);
        }
        const regex::Verdict verdict = m->test(field);
        limit = limit || verdict == regex::Verdict::Limit;
        return verdict == regex::Verdict::Yes;
    }

    // A record held in `bytes`, which begin at file offset `base`; false when a field passed
    // the pattern's limit, which ends the block's search there.
    bool evaluate(std::string_view bytes, std::int64_t base, const RecordSpan& record,
                  std::int64_t index, BlockResult& result, ReportBytes& entry, Matcher* m) {
        bool limit = false;
        if (searchesColumn()) {
            const bool hit = columnExists() &&
                             fieldMatches(record.field(bytes, query_.selector.column), m, limit);
            if (limit) {
                result.limitRecord = index;
                return false;
            }
            if (!hit) {
                return true;
            }
            entry.clear();
            appendValue(entry, record.field(bytes, log::kColumnSite), bytes, base);
            entry.append(kLineBreak);
            addHit(result, entry);
            return true;
        }
        std::array<std::string_view, log::kFieldCount> fields;
        int count = 0;
        for (int k = 0; k < log::kFieldCount; ++k) {
            fields[static_cast<std::size_t>(k)] = record.field(bytes, k);
            count += fieldMatches(fields[static_cast<std::size_t>(k)], m, limit) ? 1 : 0;
            if (limit) {
                result.limitRecord = index;
                return false;
            }
        }
        if (count == 0) {
            return true;
        }
        buildEntry(entry, index, [&](ReportBytes& out, int k) {
            appendValue(out, fields[static_cast<std::size_t>(k)], bytes, base);
        });
        addHit(result, entry, count);
        return true;
    }

    // A record too long to hold, read from the file at `at`: its fields are matched piece by
    // piece and all of them stay in the file until the report is written.
    ReadEnd evaluateLong(std::int64_t at, std::int64_t index, BlockResult& result, Matcher* m) {
        PieceReader reader(file_, size_, &control_.cancel);
        FileRecord record;
        if (const ReadEnd end = reader.readRecord(at, record); end != ReadEnd::Done) {
            return end;
        }
        const auto value = [&](int k) {
            return k < record.fields ? record.values[static_cast<std::size_t>(k)] : FileRange{};
        };
        const ByteFinder finder(query_.text);
        int count = 0;
        for (int k = 0; k < log::kFieldCount; ++k) {
            if (searchesColumn() && (!columnExists() || k != query_.selector.column)) {
                continue;
            }
            bool found = false;
            if (m != nullptr) {
                if (const ReadEnd end = patternHolds(reader, value(k), index, result, m, found);
                    end != ReadEnd::Done || result.limitRecord) {
                    return end;
                }
            } else if (const ReadEnd end = reader.holds(value(k), query_.text, finder, found);
                       end != ReadEnd::Done) {
                return end;
            }
            count += found ? 1 : 0;
        }
        if (count == 0) {
            return ReadEnd::Done;
        }
        ReportBytes entry;
        if (searchesColumn()) {
            entry.append(value(log::kColumnSite));
            entry.append(kLineBreak);
        } else {
            buildEntry(entry, index, [&](ReportBytes& out, int k) { out.append(value(k)); });
        }
        addHit(result, entry, count);
        return ReadEnd::Done;
    }

    // A field of a long record against the regular expression: its first kPatternFieldBytes
    // read from the file, the rest noted as not tried.
    ReadEnd patternHolds(PieceReader& reader, FileRange range, std::int64_t index,
                         BlockResult& result, Matcher* m, bool& found) {
        if (range.size() > kPatternFieldBytes) {
            if (result.clipped++ == 0) {
                result.firstClipped = index;
            }
            range.end = range.begin + kPatternFieldBytes;
        }
        std::string field;
        field.reserve(static_cast<std::size_t>(std::max<std::int64_t>(range.size(), 0)));
        if (const ReadEnd end =
                reader.read(range, [&](std::string_view piece) { field.append(piece); });
            end != ReadEnd::Done) {
            return end;
        }
        bool limit = false;
        found = fieldMatches(field, m, limit);
        if (limit) {
            result.limitRecord = index;
        }
        return ReadEnd::Done;
    }

    // The records from `record` on (below endRecord) held in `bytes` from `at` on; `bytes`
    // begin at file offset `base`. With a regular expression, `m` finds where a match may be
    // and gives the verdicts.
    void searchRecords(std::string_view bytes, std::int64_t base, std::size_t at,
                       std::int64_t record, std::int64_t endRecord, BlockResult& result,
                       Matcher* m) {
        ReportBytes entry;
        const std::string_view text = query_.text;
        const ByteFinder& finder = *textFinder_;
        std::optional<PatternCandidates> candidates;
        if (m != nullptr) {
            candidates.emplace(*query_.pattern, *m, *literalFinder_);
        }
        const int wanted = searchesColumn()
                               ? std::clamp(std::max(query_.selector.column, log::kColumnSite) + 1,
                                            1, log::kFieldCount)
                               : log::kFieldCount;
        while (at < bytes.size() && record < endRecord) {
            if (m != nullptr || !text.empty()) {
                // Straight to the next record that holds the text anywhere (or where a match
                // of the pattern may end): a field that matches holds it, so the records
                // before cannot match.
                const std::size_t found =
                    candidates ? candidates->next(bytes, at) : finder.find(bytes, at);
                if (found == std::string_view::npos) {
                    if (endRecord == std::numeric_limits<std::int64_t>::max()) {
                        // The rest of the file's records, to tell where the report ends:
                        // one field per field end, and one for bytes after the last.
                        const std::int64_t ends =
                            log::countFieldEnds(bytes.data() + at, bytes.size() - at);
                        const bool trailing = !log::endsField(bytes.back());
                        record += ceilDiv(ends + (trailing ? 1 : 0), kFields);
                    }
                    break;
                }
                if (found - at > kCountFrom) {
                    // Far ahead: whole records are skipped by counting their field ends.
                    const std::int64_t skipped =
                        log::countFieldEnds(bytes.data() + at, found - at) / kFields;
                    if (skipped > 0) {
                        at +=
                            log::findFieldEnd(bytes.data() + at, found - at, skipped * kFields) + 1;
                        record += skipped;
                    }
                }
                // Near: record by record up to the one that holds the find.
                RecordSpan span = recordAt(bytes, at, wanted);
                while (span.next <= found && span.next < bytes.size() && record + 1 < endRecord) {
                    at = span.next;
                    ++record;
                    span = recordAt(bytes, at, wanted);
                }
                if (record >= endRecord || span.next <= found) {
                    break;
                }
                if (!evaluate(bytes, base, span, record, result, entry, m)) {
                    return;
                }
                at = span.next;
                ++record;
                continue;
            }
            const RecordSpan span = recordAt(bytes, at, wanted);
            if (!evaluate(bytes, base, span, record, result, entry, m)) {
                return;
            }
            at = span.next;
            ++record;
        }
        if (endRecord == std::numeric_limits<std::int64_t>::max()) {
            result.endRecord = record;
        }
    }

    // Passes finished blocks to the sink in file order, as long as the report has room; after
    // the file came up short nothing more.
    void report() {
        while (!changed_ && !limitRecord_ && reported_ < blocks_.size() &&
               results_[reported_].ready) {
            BlockResult& result = results_[reported_];
            if (result.failed) {
                changed_ = true;
                return;
            }
            std::size_t listed = 0;
            if (unlisted_ == 0) {
                const std::size_t room = query_.capacity - std::min(query_.capacity, reportSize_);
                listed = static_cast<std::size_t>(
                    std::upper_bound(result.hitEnds.begin(), result.hitEnds.end(), room) -
                    result.hitEnds.begin());
            }
            const std::size_t bytes = listed == 0 ? 0 : result.hitEnds[listed - 1];
            if (!writer_.write(result.report, bytes)) {
                // A long field came up short: the file was cut since its block was read.
                changed_ = true;
                failedBlock_ = std::min(failedBlock_, reported_);
                return;
            }
            reportSize_ += bytes;
            unlisted_ += result.hitEnds.size() - listed + result.unbuilt;
            if (clipped_ == 0 && result.clipped > 0) {
                firstClipped_ = result.firstClipped;
            }
            clipped_ += result.clipped;
            if (result.limitRecord) {
                // The records before it are reported; the search ends at this one.
                limitRecord_ = result.limitRecord;
                nextRecord_ = *result.limitRecord;
                failedBlock_ = std::min(failedBlock_, reported_);
                return;
            }
            if (unlisted_ > 0) {
                full_ = true;
            }
            stoppedAt_ += result.bytes;
            nextRecord_ = result.endRecord;
            control_.bytesDone.store(
                control_.bytesBefore + progressAhead_ +
                    static_cast<std::int64_t>(static_cast<double>(stoppedAt_) * progressScale_),
                std::memory_order_relaxed);
            // Swapped out, not assigned: a string assigned an empty one keeps its memory.
            BlockResult spent;
            spent.ready = true;
            std::swap(result, spent);
            ++reported_;
        }
    }

    log::Source* file_;
    std::int64_t size_;
    double progressScale_ = 1.0;
    std::int64_t progressAhead_ = 0;
    const WholeLogQuery& query_;
    ScanControl& control_;
    const ScanTuning& tuning_;
    ReportWriter writer_;

    std::vector<Block> blocks_;
    // Per block; -1 until known. Set under the mutex, read without it while a worker spins.
    std::unique_ptr<std::atomic<std::int64_t>[]> fieldEndsBefore_;
    std::vector<BlockResult> results_;
    std::once_flag planned_;
    std::optional<ByteFinder> textFinder_;
    std::optional<ByteFinder> literalFinder_;

    std::mutex mutex_;
    std::condition_variable changedCondition_;
    std::size_t nextBlock_ = 0;
    std::size_t reported_ = 0;
    std::size_t failedBlock_ = std::numeric_limits<std::size_t>::max();
    bool changed_ = false;
    std::atomic<bool> full_{false};
    std::atomic<std::uint64_t> matches_{0};

    std::size_t reportSize_ = 0;
    std::uint64_t unlisted_ = 0;
    std::int64_t stoppedAt_ = 0;
    std::int64_t nextRecord_ = 0;
    std::optional<std::int64_t> limitRecord_;
    std::uint64_t clipped_ = 0;
    std::int64_t firstClipped_ = 0;
};

// The record index a whole-log record-number text names; nothing when the text is not a
// whole number (blanks around allowed). A number too large for 64 bits names no record.
std::optional<std::uint64_t> wholeLogRecordNumber(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    const auto last = text.find_last_not_of(' ');
    std::uint64_t number = 0;
    for (const char c : text.substr(first, last - first + 1)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        number = number > (std::numeric_limits<std::uint64_t>::max() - digit) / 10
                     ? std::numeric_limits<std::uint64_t>::max()
                     : number * 10 + digit;
    }
    return number;
}

// Where a record begins and how many records the file has, from the index where it serves.
class RecordFinder {
  public:
    RecordFinder(log::Source* file, std::int64_t size, const log::FieldIndex* index,
                 std::int64_t blockBytes)
        : file_(file), size_(size), blockBytes_(blockBytes) {
        if (index != nullptr && index->marks.size() > 1 && index->endOffset() == size) {
            marks_ = index->marks;
        }
    }

    // Offset after the `count`-th field end (count >= 1), or nothing when the file has fewer
    // (or could not be read: `failed`).
    std::optional<std::int64_t> afterFieldEnd(std::int64_t count) {
        std::int64_t offset = 0;
        std::int64_t before = 0;
        if (!marks_.empty()) {
            // The last mark with fewer field ends before it than `count`.
            const auto next = std::lower_bound(marks_.begin(), marks_.end(), count,
                                               [](const log::FieldIndex::Mark& mark,
                                                  std::int64_t c) { return mark.fieldEnds < c; });
            if (next == marks_.end()) {
                return std::nullopt;
            }
            offset = std::prev(next)->offset;
            before = std::prev(next)->fieldEnds;
        }
        return readBlocks(
            offset, before,
            [&](std::string_view block, std::int64_t blockOffset) -> std::optional<std::int64_t> {
                const std::size_t at =
                    log::findFieldEnd(block.data(), block.size(), count - before);
                if (at == block.size()) {
                    return std::nullopt;
                }
                return blockOffset + static_cast<std::int64_t>(at) + 1;
            });
    }

    // Fields of the file: one per field end, and one more for bytes after the last.
    std::optional<std::int64_t> fieldCount() {
        std::int64_t ends = 0;
        if (!marks_.empty()) {
            ends = marks_.back().fieldEnds;
        } else {
            readBlocks(0, ends, [](std::string_view, std::int64_t) {
                return std::optional<std::int64_t>();
            });
            if (failed) {
                return std::nullopt;
            }
        }
        char last = 0;
        if (size_ > 0 && file_->readAt(size_ - 1, &last, 1) != 1) {
            failed = true;
            return std::nullopt;
        }
        return ends + (size_ > 0 && !log::endsField(last) ? 1 : 0);
    }

    bool failed = false;

  private:
    // Reads the file a block at a time from `offset` on until `find(block, blockOffset)` gives
    // an offset, adding the field ends of each block passed to `before`. Nothing at the end of
    // the file, or when a read fails (`failed`).
    template <typename Find>
    std::optional<std::int64_t> readBlocks(std::int64_t offset, std::int64_t& before, Find&& find) {
        std::string buffer;
        while (offset < size_) {
            const auto want = static_cast<std::size_t>(std::min(blockBytes_, size_ - offset));
            buffer.resize(want);
            if (file_->readAt(offset, buffer.data(), want) != static_cast<std::int64_t>(want)) {
                failed = true;
                return std::nullopt;
            }
            if (const auto found = find(std::string_view(buffer), offset)) {
                return found;
            }
            before += log::countFieldEnds(buffer.data(), want);
            offset += static_cast<std::int64_t>(want);
        }
        return std::nullopt;
    }

    log::Source* file_;
    std::int64_t size_;
    std::int64_t blockBytes_;
    std::vector<log::FieldIndex::Mark> marks_;
};

// The 23 fields of the record at `start`, one a line: taken from memory when the record is
// shorter than `held` bytes, otherwise read from the file piece by piece and left there.
ReadEnd recordLines(log::Source* file, std::int64_t size, std::int64_t start, std::int64_t held,
                    const std::atomic<bool>& cancel, ReportBytes& lines) {
    std::string bytes;
    for (std::int64_t offset = start;;) {
        const auto room = static_cast<std::size_t>(std::max<std::int64_t>(held, 0));
        if (offset < size && bytes.size() >= room) {
            PieceReader reader(file, size, &cancel);
            FileRecord record;
            if (const ReadEnd end = reader.readRecord(start, record); end != ReadEnd::Done) {
                return end;
            }
            for (int k = 0; k < log::kFieldCount; ++k) {
                if (k < record.fields) {
                    lines.append(record.values[static_cast<std::size_t>(k)]);
                }
                lines.append(kLineBreak);
            }
            return ReadEnd::Done;
        }
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(
            size - offset, std::min(std::max(kTailStep, bytes.size()), room - bytes.size())));
        const std::size_t old = bytes.size();
        bytes.resize(old + want);
        if (file->readAt(offset, bytes.data() + old, want) != static_cast<std::int64_t>(want)) {
            return ReadEnd::Failed;
        }
        offset += static_cast<std::int64_t>(want);
        if (offset >= size ||
            log::findFieldEnd(bytes.data(), bytes.size(), kFields) < bytes.size()) {
            break;
        }
    }
    const RecordSpan record = recordAt(bytes, 0);
    for (int k = 0; k < log::kFieldCount; ++k) {
        appendValue(lines, record.field(bytes, k), bytes, start);
        lines.append(kLineBreak);
    }
    return ReadEnd::Done;
}

ScanOutcome recordNumber(log::Source* file, std::int64_t size, const log::FieldIndex* index,
                         const WholeLogQuery& query, ScanControl& control, const ReportSink& sink,
                         const ScanTuning& tuning) {
    ScanOutcome outcome;
    outcome.fileSize = size;
    std::string report(query.text);
    report += "= ";
    report += kLineBreak;
    report += kLineBreak;
    const auto number = wholeLogRecordNumber(query.text);
    if (!number) {
        report += kBadWholeLogRecordNumber;
        report += kLineBreak;
        sink(report);
        return outcome;
    }
    RecordFinder finder(file, size, index, tuning.blockBytes);
    std::optional<std::int64_t> start;
    if (*number == 0) {
        start = size > 0 ? std::optional<std::int64_t>(0) : std::nullopt;
    } else if (*number <
               static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / kFields)) {
        start = finder.afterFieldEnd(static_cast<std::int64_t>(*number) * kFields);
        if (start && *start >= size) {
            start.reset();  // a last field end begins no record
        }
    }
    if (start) {
        ReportBytes lines;
        const ReadEnd end =
            recordLines(file, size, *start, tuning.heldRecordBytes, control.cancel, lines);
        ReportWriter writer(file, size, sink);
        if (end == ReadEnd::Done) {
            outcome.matches = 1;
            outcome.stoppedAt = size;
            writer.write(report);
            if (query.used + report.size() + lines.size() > query.capacity) {
                outcome.unlisted = 1;
                writer.writeLine(reportStopsLine(query.capacity, 1));
                return outcome;
            }
            if (writer.write(lines, lines.size())) {
                return outcome;
            }
            outcome.stoppedAt = 0;
            outcome.end = ScanEnd::Changed;
            writer.writeLine(stoppedLine(outcome));
            return outcome;
        }
        if (end == ReadEnd::Cancelled) {
            outcome.end = ScanEnd::Cancelled;
            writer.write(report);
            writer.writeLine(stoppedLine(outcome));
            return outcome;
        }
        finder.failed = true;
    }
    const auto fields = finder.failed ? std::nullopt : finder.fieldCount();
    if (!fields) {
        outcome.end = ScanEnd::Changed;
        report += stoppedLine(outcome);
        report += kLineBreak;
        sink(report);
        return outcome;
    }
    const std::int64_t records = ceilDiv(*fields, kFields);
    report += "The log has " + grouped(static_cast<std::uint64_t>(records)) +
              (records == 1 ? " record." : " records.");
    report += kLineBreak;
    outcome.stoppedAt = size;
    outcome.nextRecord = records;
    sink(report);
    return outcome;
}

}  // namespace

std::string stoppedLine(const ScanOutcome& outcome) {
    if (outcome.end == ScanEnd::PatternLimit) {
        return "The regular expression passed its match limit in record " +
               grouped(static_cast<std::uint64_t>(outcome.nextRecord)) + ". Stopped at " +
               sizeText(static_cast<std::uint64_t>(outcome.stoppedAt)) + " of " +
               sizeText(static_cast<std::uint64_t>(outcome.fileSize)) + ".";
    }
    std::string line = outcome.end == ScanEnd::Changed
                           ? "The log changed while it was searched. Stopped at "
                           : "Stopped at ";
    line += sizeText(static_cast<std::uint64_t>(outcome.stoppedAt)) + " of " +
            sizeText(static_cast<std::uint64_t>(outcome.fileSize)) + ", record " +
            grouped(static_cast<std::uint64_t>(outcome.nextRecord)) + ".";
    return line;
}

ScanOutcome searchWholeLog(const std::filesystem::path& path, const log::FieldIndex* index,
                           const WholeLogQuery& query, ScanControl& control, const ReportSink& sink,
                           const ScanTuning& tuning) {
    control.bytesDone = control.bytesBefore;
    std::string error;
    const std::shared_ptr<log::Source> source = log::Source::open(path, error);
    if (source == nullptr) {
        ScanOutcome outcome;
        outcome.end = ScanEnd::Unreadable;
        outcome.error = error;
        return outcome;
    }
    return searchWholeLog(*source, index, query, control, sink, tuning);
}

ScanOutcome searchWholeLog(log::Source& source, const log::FieldIndex* index,
                           const WholeLogQuery& query, ScanControl& control, const ReportSink& sink,
                           const ScanTuning& tuning) {
    control.bytesDone = control.bytesBefore;
    const log::file_io::FileStamp stamp = source.stamp();
    // Progress goes by the bytes of the file, compressed or not. A compressed log not yet read
    // through is read through first, which takes the first half of its progress.
    const std::int64_t fileBytesNow = std::max<std::int64_t>(stamp.size, 0);
    double passShare = 0;
    if (!source.sizeKnown()) {
        passShare = 0.5;
        const bool through = source.readThrough(&control.cancel, [&](std::int64_t read) {
            control.bytesDone = control.bytesBefore +
                                static_cast<std::int64_t>(static_cast<double>(read) * passShare);
        });
        if (!through) {
            ScanOutcome outcome;
            outcome.end = ScanEnd::Cancelled;
            outcome.fileSize = fileBytesNow;  // the file's own size: its data's is not known yet
            sink(stoppedLine(outcome) + std::string(kLineBreak));
            return outcome;
        }
    }
    const std::int64_t size = source.size();
    const std::int64_t fileBytes = source.compressed() ? fileBytesNow : size;
    // An index of the file as it is now; one of an older state would misplace every record.
    const log::FieldIndex* current = index != nullptr && index->stamp == stamp ? index : nullptr;
    // A compressed log is read in bigger blocks: each one inflates from the access point before
    // it, which costs up to a span whatever the block's size.
    const std::int64_t blockBytes = std::max<std::int64_t>(
        source.compressed() ? tuning.compressedBlockBytes : tuning.blockBytes, 64);
    ScanOutcome outcome;
    if (query.selector.kind == SelectorKind::RecordNumber) {
        outcome = recordNumber(&source, size, current, query, control, sink, tuning);
        control.bytesDone = control.bytesBefore + fileBytes;
        if (auto damage = source.damage(); damage && outcome.end == ScanEnd::Complete) {
            sink(log::damageSentence(*damage) + std::string(kLineBreak));
        }
    } else {
        Scan scan(&source, size, query, control, sink, tuning);
        scan.plan(current, blockBytes);
        if (size > 0) {
            scan.scaleProgress(
                static_cast<double>(fileBytes) * (1 - passShare) / static_cast<double>(size),
                static_cast<std::int64_t>(static_cast<double>(fileBytes) * passShare));
        }
        const int cores = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
        scan.run(tuning.threads > 0 ? tuning.threads : std::min(cores, 8));
        outcome = scan.finish(source.damage());
    }
    if (auto damage = source.damage()) {
        outcome.damage = *damage;
    }
    return outcome;
}

}  // namespace trailscan::scan
