#include "kestrand/reports/summary.h"

#include <cstdio>

#include "kestrand/cache/file_identity.h"
#include "kestrand/cache/open_file.h"
#include "kestrand/cache/seal.h"
#include "kestrand/reports/codec.h"

namespace kestrand::reports {

namespace {

constexpr std::size_t kSkippedLinesKept = 10;

void encodeCounts(Writer& out, const DayCounts& counts) {
    out.number(counts.requests);
    out.number(counts.proxy);
    out.number(counts.denied);
    out.number(counts.cache.requests);
    out.number(counts.cache.bytes);
    out.number(counts.withoutAgent);
}

void decodeCounts(Reader& in, DayCounts& counts) {
    counts.requests = in.number();
    counts.proxy = in.number();
    counts.denied = in.number();
    counts.cache.requests = in.number();
    counts.cache.bytes = in.number();
    counts.withoutAgent = in.number();
}

}  // namespace

std::optional<std::string_view> SummaryPart::bytes(std::string& scratch) const {
    if (held()) {
        return std::string_view(tables);
    }
    scratch.resize(size);
    const bool read = file->read(scratch.data(), size, offset);
    if (!read || cache::checksum(scratch) != checksum) {
        return std::nullopt;
    }
    return std::string_view(scratch);
}

bool SummaryPart::hold() {
    if (held()) {
        return true;
    }
    std::string scratch;
    const std::optional<std::string_view> read = bytes(scratch);
    if (!read) {
        return false;
    }
    tables = std::move(scratch);
    file.reset();
    return true;
}

namespace {

// A file's fields; `putTables` writes each part's tables (inline, or only where they are).
template <class PutTables>
void encodeFileWith(Writer& out, const SummaryFile& file, PutTables putTables) {
    const FileRow& row = file.row;
    out.text(row.path);
    out.text(row.layout);
    out.number(row.size);
    out.number(row.lines);
    out.number(row.skipped);
    out.number(row.skippedLines.size());
    for (const std::uint64_t line : row.skippedLines) {
        out.number(line);
    }
    out.number(row.error ? 1 : 0);
    out.text(row.error ? *row.error : std::string());
    out.number(file.resumable ? 1 : 0);
    out.number(file.end);
    out.text(file.fields);
    out.number(file.parts.size());
    for (const SummaryPart& part : file.parts) {
        out.number(static_cast<std::uint64_t>(part.day));
        encodeCounts(out, part.counts);
        putTables(out, part);
    }
}

}  // namespace

void encodeFile(Writer& out, const SummaryFile& file, bool inlineParts) {
    encodeFileWith(out, file, [&](Writer& to, const SummaryPart& part) {
        if (inlineParts) {
            to.text(part.tables);
        } else {
            to.number(part.tables.size());
            to.number(cache::checksum(part.tables));
        }
    });
}

namespace {

// A file's fields; `takeTables` reads each part's tables (inline, or only where they are).
template <class TakeTables>
bool decodeFileWith(Reader& in, SummaryFile& file, TakeTables takeTables) {
    FileRow& row = file.row;
    row.path = std::string(in.text());
    row.layout = std::string(in.text());
    row.size = in.number();
    row.lines = in.number();
    row.skipped = in.number();
    const std::uint64_t kept = in.count();
    if (kept > kSkippedLinesKept) {
        return false;
    }
    for (std::uint64_t i = 0; i < kept; ++i) {
        row.skippedLines.push_back(in.number());
    }
    const bool hasError = in.number() != 0;
    const std::string_view error = in.text();
    if (hasError) {
        row.error = std::string(error);
    }
    file.resumable = in.number() != 0;
    file.end = in.number();
    file.fields = std::string(in.text());
    for (std::uint64_t n = in.count(8); n > 0 && in.ok(); --n) {
        SummaryPart part;
        const std::uint64_t day = in.number();
        if (day > 99991231) {
            return false;
        }
        part.day = static_cast<Day>(day);
        decodeCounts(in, part.counts);
        takeTables(in, part);
        file.parts.push_back(std::move(part));
    }
    return in.ok();
}

}  // namespace

bool decodeFile(Reader& in, SummaryFile& file, bool inlineParts) {
    std::uint64_t offset = 0;
    return decodeFileWith(in, file, [&](Reader& from, SummaryPart& part) {
        if (inlineParts) {
            part.tables = std::string(from.text());
        } else {
            part.offset = offset;
            part.size = from.number();
            part.checksum = from.number();
            offset += part.size;
        }
    });
}

bool encodeSummaryPieces(const Summary& summary,
                         const std::function<void(std::string_view)>& piece) {
    Writer out;
    std::string scratch;
    bool read = true;
    out.text(summary.timeZone);
    out.text(summary.folders);
    out.number(summary.otherFiles);
    out.number(summary.files.size());
    // A part's tables inline as text: their length with the bytes before, then the bytes, read
    // now from where they are when the part is not held.
    const auto inlineTables = [&](Writer& to, const SummaryPart& part) {
        const std::optional<std::string_view> tables = part.bytes(scratch);
        read = read && tables.has_value();
        const std::string_view bytes = tables.value_or(std::string_view());
        to.number(bytes.size());
        piece(to.bytes());
        to.bytes().clear();
        piece(bytes);
    };
    for (const SummaryFile& file : summary.files) {
        encodeFileWith(out, file, inlineTables);
    }
    out.number(summary.standing ? 1 : 0);
    if (summary.standing) {
        const SummaryStanding& standing = *summary.standing;
        out.number(standing.bound);
        out.number(standing.pages.size());
        for (const auto& [page, views] : standing.pages) {
            out.text(page);
            out.number(views);
        }
        inlineTables(out, standing.tables);
    }
    piece(out.bytes());
    return read;
}

std::optional<std::string> encodeSummary(const Summary& summary) {
    std::string payload;
    if (!encodeSummaryPieces(summary, [&](std::string_view bytes) { payload.append(bytes); })) {
        return std::nullopt;
    }
    return cache::sealHead(kSummaryMagic, kSummaryFileFormat, payload) + payload;
}

std::optional<Summary> decodeSummary(std::string_view bytes, std::string& error,
                                     const std::shared_ptr<const cache::OpenFile>& source) {
    // The version is the byte after the magic (the seal writes it least significant first).
    const std::uint32_t version = bytes.size() > kSummaryMagic.size() &&
                                          bytes[kSummaryMagic.size()] == 1 &&
                                          bytes.starts_with(kSummaryMagic)
                                      ? 1
                                      : kSummaryFileFormat;
    const std::optional<std::string_view> payload =
        cache::unseal(bytes, kSummaryMagic, version, "a kestrand summary", error);
    if (!payload) {
        return std::nullopt;
    }
    Reader in(*payload);
    Summary summary;
    // Tables left in the file, where this text stands after the seal's head, or held.
    const auto takeTables = [&](Reader& from, SummaryPart& part) {
        const std::string_view tables = from.text();
        if (source == nullptr) {
            part.tables = std::string(tables);
            return;
        }
        part.file = source;
        part.offset =
            cache::kSealHeader + static_cast<std::uint64_t>(tables.data() - payload->data());
        part.size = tables.size();
        part.checksum = cache::checksum(tables);
    };
    summary.timeZone = std::string(in.text());
    summary.folders = std::string(in.text());
    summary.otherFiles = in.number();
    for (std::uint64_t n = in.count(16); n > 0 && in.ok(); --n) {
        SummaryFile file;
        if (!decodeFileWith(in, file, takeTables)) {
            in.fail();
            break;
        }
        summary.files.push_back(std::move(file));
    }
    if (version >= 2 && in.ok() && in.number() != 0) {
        SummaryStanding& standing = summary.standing.emplace();
        standing.bound = in.number();
        for (std::uint64_t n = in.count(2); n > 0 && in.ok(); --n) {
            std::string page(in.text());
            standing.pages.emplace_back(std::move(page), in.number());
        }
        takeTables(in, standing.tables);
    }
    if (!in.ok() || !in.atEnd()) {
        error = "damaged: its contents do not read as a summary";
        return std::nullopt;
    }
    return summary;
}

}  // namespace kestrand::reports
