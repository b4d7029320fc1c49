#include "kestrand/reports/result_codec.h"

#include "kestrand/reports/codec.h"

namespace kestrand::reports {

namespace {

// One function for both ways: each field is written, or read back into place.
class Out {
  public:
    Writer out;
    void operator()(std::uint64_t value) { out.number(value); }
    void operator()(std::int64_t value) { out.signedNumber(value); }
    void operator()(int value) { out.signedNumber(value); }
    void operator()(bool value) { out.number(value ? 1 : 0); }
    void operator()(const std::string& value) { out.text(value); }
    void operator()(const std::optional<std::string>& value) {
        out.number(value ? 1 : 0);
        if (value) {
            out.text(*value);
        }
    }
    void operator()(const Traffic& value) {
        out.number(value.requests);
        out.number(value.bytes);
    }
    template <typename Row, typename Each>
    void list(std::vector<Row>& rows, Each each) {
        out.number(rows.size());
        for (Row& row : rows) {
            each(*this, row);
        }
    }
};

class In {
  public:
    explicit In(std::string_view bytes) : in(bytes) {}
    Reader in;
    void operator()(std::uint64_t& value) { value = in.number(); }
    void operator()(std::int64_t& value) { value = in.signedNumber(); }
    void operator()(int& value) { value = static_cast<int>(in.signedNumber()); }
    void operator()(bool& value) { value = in.number() != 0; }
    void operator()(std::string& value) { value = std::string(in.text()); }
    void operator()(std::optional<std::string>& value) {
        if (in.number() != 0) {
            value = std::string(in.text());
        } else {
            value.reset();
        }
    }
    void operator()(Traffic& value) {
        value.requests = in.number();
        value.bytes = in.number();
    }
    template <typename Row, typename Each>
    void list(std::vector<Row>& rows, Each each) {
        const std::uint64_t n = in.count();
        rows.clear();
        for (std::uint64_t i = 0; i < n && in.ok(); ++i) {
            each(*this, rows.emplace_back());
        }
    }
};

template <typename Io>
void fileRow(Io& io, FileRow& row) {
    io(row.path);
    io(row.layout);
    io(row.size);
    io(row.lines);
    io(row.requests);
    io(row.proxyRequests);
    io(row.skipped);
    io.list(row.skippedLines, [](Io& io, std::uint64_t& line) { io(line); });
    io(row.error);
    io(row.denied);
    io(row.cache);
    io(row.requestsWithoutAgent);
}

template <typename Io>
void named(Io& io, NamedRow& row) {
    io(row.name);
    io(row.addresses);
    io(row.requests);
}

template <typename Io>
void counted(Io& io, CountRow& row) {
    io(row.name);
    io(row.searches);
}

template <typename Io>
void everything(Io& io, Result& r) {
    io(r.error);
    io(r.cancelled);
    io(r.totals.requests);
    io(r.totals.bytes);
    io(r.totals.addresses);
    io(r.generator);
    io(r.folder);
    io(r.homeCountry);
    io(r.timeZone);
    for (bool& kind : r.kinds) {
        io(kind);
    }
    io(r.first);
    io(r.last);
    io.list(r.files, [](Io& io, FileRow& row) { fileRow(io, row); });
    io(r.otherFiles);
    io(r.proxyRequests);
    io(r.denied.requests);
    io(r.denied.bytes);
    io.list(r.denied.hosts, [](Io& io, DeniedHost& row) {
        io(row.host);
        io(row.requests);
    });
    io(r.cache);
    io(r.agentNote);
    io(r.cacheNote);
    io.list(r.addresses, [](Io& io, AddressRow& row) {
        io(row.address);
        io(row.requests);
        io(row.bytes);
        io.list(row.users, [](Io& io, std::string& user) { io(user); });
        io(row.first);
        io(row.last);
        io(row.denied);
    });
    io.list(r.windows, named<Io>);
    io.list(r.browsers, named<Io>);
    for (HourRow& row : r.hours) {
        io(row.hour);
        io(row.requests);
        io(row.bytes);
        io(row.addresses);
    }
    for (auto& day : r.weekdays) {
        for (std::uint64_t& count : day) {
            io(count);
        }
    }
    io(r.busiestHour);
    io.list(r.sites, [](Io& io, SiteRow& row) {
        io(row.host);
        io(row.requests);
        io(row.pages);
        io(row.bytes);
        io(row.addresses);
    });
    io.list(r.pages, [](Io& io, PageRow& row) {
        io(row.page);
        io(row.views);
    });
    io(r.country.home);
    for (Traffic& traffic : r.country.classes) {
        io(traffic);
    }
    io.list(r.country.addresses, [](Io& io, CountryRow& row) {
        io(row.address);
        for (Traffic& traffic : row.classes) {
            io(traffic);
        }
    });
    io(r.country.database);
    io(r.country.databaseNote);
    io(r.searches.total);
    io.list(r.searches.engines, counted<Io>);
    io.list(r.searches.addresses, counted<Io>);
    io.list(r.searches.phrases, counted<Io>);
}

}  // namespace

std::string encodeResult(const Result& result) {
    Out out;
    // Writing only reads the fields: the one walk over them serves both ways.
    everything(out, const_cast<Result&>(result));
    return out.out.take();
}

std::optional<Result> decodeResult(std::string_view bytes) {
    In in(bytes);
    Result result;
    everything(in, result);
    if (!in.in.ok() || !in.in.atEnd()) {
        return std::nullopt;
    }
    return result;
}

}  // namespace kestrand::reports
