// Any bytes as the contents of a summary (what follows its sealed header): the files' rows and
// parts are read with every length checked, and each part that reads is counted into tables.
// Those tables, written out and read back, must give the very report they gave; written as a
// standing writes them, they must read back whole. Then the standing's tables are read.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "kestrand/reports/codec.h"
#include "kestrand/reports/engine.h"
#include "kestrand/reports/summary.h"
#include "kestrand/reports/tables.h"

namespace reports = kestrand::reports;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    reports::Reader in(bytes);
    in.text();  // the time zone
    in.text();  // the folders
    in.number();
    static const reports::Options options;
    reports::SharedLookups shared(options, nullptr, nullptr, 7);
    for (std::uint64_t n = in.count(16); n > 0 && in.ok(); --n) {
        reports::SummaryFile file;
        if (!reports::decodeFile(in, file)) {
            break;
        }
        for (const reports::SummaryPart& part : file.parts) {
            reports::Tables one(shared, reports::Tables::Scope::Whole);
            reports::Reader partIn(part.tables);
            if (!one.absorbEncoded(partIn) || !partIn.atEnd()) {
                continue;
            }
            reports::Writer out;
            one.encode(out);
            reports::Tables again(shared, reports::Tables::Scope::Whole);
            reports::Reader back(out.bytes());
            if (!again.absorbEncoded(back) || !back.atEnd()) {
                std::abort();  // what encode wrote must read
            }
            again.settle();
            reports::Result first;
            reports::Result second;
            one.fill(first);
            again.fill(second);
            if (reports::writeJson(first) != reports::writeJson(second)) {
                std::abort();
            }
            // The same tables as a standing writes them (no page), read back whole, placed or
            // not, and written again to the same bytes.
            reports::Writer merged;
            one.encodeMerged(merged);
            for (const bool placed : {false, true}) {
                reports::Tables stood(shared);
                reports::Reader mergedIn(merged.bytes());
                if (!stood.absorbMerged(mergedIn, placed) || !mergedIn.atEnd()) {
                    std::abort();
                }
                reports::Writer again;
                stood.encodeMerged(again);
                if (!placed && again.bytes() != merged.bytes()) {
                    std::abort();
                }
            }
        }
    }
    // A standing's tables: any bytes are refused or read, never more.
    if (in.ok() && in.number() != 0) {
        in.number();
        for (std::uint64_t n = in.count(2); n > 0 && in.ok(); --n) {
            in.text();
            in.number();
        }
        const std::string_view tables = in.text();
        for (const bool placed : {false, true}) {
            reports::Tables stood(shared);
            reports::Reader tablesIn(tables);
            if (stood.absorbMerged(tablesIn, placed)) {
                reports::Result result;
                stood.fill(result);
            }
        }
    }
    return 0;
}
