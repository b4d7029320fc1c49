#pragma once

// One worker's aggregation tables, filled request by request and merged at the end.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "kestrand/reports/agents.h"
#include "kestrand/reports/engine.h"
#include "kestrand/reports/key_table.h"
#include "kestrand/reports/layouts.h"
#include "kestrand/reports/shared_cache.h"

namespace kestrand::reports {

class CountryDatabase;

inline constexpr std::size_t kTopPages = 100;  // the pages report 4 names

// The pages viewed, one table for all workers: distinct pages are the largest key set, and a
// copy per worker would double the memory. Sharded by hash, so workers rarely wait.
class SharedPages {
  public:
    struct Pending {
        std::uint64_t hash = 0;  // hash(page)
        std::string_view page;
        std::uint64_t views = 1;
    };
    explicit SharedPages(std::uint64_t seed);
    std::uint64_t hash(std::string_view page) const { return hashBytes(page, seed_); }
    // Counts a worker's batch of pages, taking each shard's lock once; empties it.
    void count(std::vector<Pending>& pending, std::vector<Pending>& scratch);
    // The most viewed, most first, ties by page.
    std::vector<std::pair<std::string, std::uint64_t>> top(std::size_t limit) const;
    // Adds views of a page.
    void add(std::string_view page, std::uint64_t views);
    // Adds every page of other, a shard's lock taken once.
    void absorb(const SharedPages& other);
    // Every page with its views, shard by shard; no count may run meanwhile.
    template <typename Visit>
    void forEach(Visit&& visit) const {
        for (const auto& shard : shards_) {
            for (std::uint32_t i = 0; i < shard->views.size(); ++i) {
                visit(shard->keys.key(i), shard->views[i]);
            }
        }
    }
    std::size_t size() const;

  private:
    struct Shard {
        explicit Shard(std::uint64_t seed) : keys(seed) {}
        std::mutex mutex;
        KeyTable keys;
        std::vector<std::uint64_t> views;
    };
    static constexpr std::size_t kShards = 64;
    std::uint64_t seed_;
    std::array<std::unique_ptr<Shard>, kShards> shards_;
};

// What every worker shares: the options, the run's hash seed and the caches of the slow
// classifications, so that a distinct agent or destination is mostly classified once in the
// whole run. A worker asks only for the texts it has not met itself.
class SharedLookups {
  public:
    SharedLookups(const Options& options, const AgentClassifier* agents,
                  const CountryDatabase* countries, std::uint64_t seed);
    // The rules and database to classify with, set before any classification.
    void use(const AgentClassifier* agents, const CountryDatabase* countries) {
        agents_ = agents;
        countries_ = countries;
    }
    // The agent's system and browser ("Other" for both without the rules).
    AgentClass agentClass(std::string_view agent);
    // The destination's place before the host name is looked at: kInside, kOutside, kLocal,
    // or kUnknown (no address, or not known to the database).
    int destinationPlace(std::string_view destination);

    const Options& options;
    const std::uint64_t seed;
    SharedPages pages;

  private:
    const AgentClassifier* agents_;
    const CountryDatabase* countries_;
    SharedCache<AgentClass> agentClasses_{seed};
    SharedCache<int> places_{seed};
};

struct AddressStats {
    std::uint64_t requests = 0;
    std::uint64_t bytes = 0;
    std::uint64_t denied = 0;  // refused requests, in no other figure but first and last
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::uint32_t hours = 0;  // bit h: a request in hour h
    std::uint64_t searches = 0;
    std::vector<std::pair<std::uint32_t, std::uint64_t>> users;  // user id, requests
    // What this address asked with last: consecutive requests of one user mostly repeat
    // them, and a repeat needs no lookup and adds no new pair.
    std::array<std::uint32_t, 8> recentAgents{
        KeyTable::kMissing, KeyTable::kMissing, KeyTable::kMissing, KeyTable::kMissing,
        KeyTable::kMissing, KeyTable::kMissing, KeyTable::kMissing, KeyTable::kMissing};
    std::array<std::uint64_t, 8> recentAgentPrints{};  // their fingerprints
    std::uint32_t nextRecentAgent = 0;
    std::uint32_t lastUser = 0;  // index into users
    // The last few hosts it went to: a user moves between a page's site and its servers.
    std::array<std::uint32_t, 4> recentHosts{KeyTable::kMissing, KeyTable::kMissing,
                                             KeyTable::kMissing, KeyTable::kMissing};
    std::array<std::uint64_t, 4> recentHostPrints{};
    std::uint32_t nextRecentHost = 0;
    // The traffic to its last few targets, counted here and moved into the table of all
    // targets when another takes its place (or when the tables are settled).
    std::array<std::uint32_t, 4> recentTargets{KeyTable::kMissing, KeyTable::kMissing,
                                               KeyTable::kMissing, KeyTable::kMissing};
    std::array<Traffic, 4> recentTargetTraffic{};
    std::uint32_t nextRecentTarget = 0;
};

inline constexpr std::uint8_t kNoDestinationKept = 0xFF;

struct HostStats {
    std::uint64_t requests = 0;
    std::uint64_t pages = 0;
    std::uint64_t bytes = 0;
    int engine = -1;
    std::uint32_t suffix = 0;  // id of its last label with the dot before it (".ir"), or of ""
    std::uint32_t lastAddress = KeyTable::kMissing;  // its (host, address) pair is counted
    // The last destination's text when short, and its target: a repeat reads no other table.
    std::array<char, 16> lastDestinationText{};
    std::uint8_t lastDestinationSize = kNoDestinationKept;
    std::uint32_t lastTarget = KeyTable::kMissing;
    std::uint32_t noneTarget = KeyTable::kMissing;  // its target for requests without an address
};

struct AgentStats {
    bool proxy = false;
    std::uint64_t requests = 0;
    std::uint32_t lastAddress = KeyTable::kMissing;  // its (agent, address) pair is counted
};

class Writer;
class Reader;

class Tables {
  public:
    // Report tables count what the run's options ask for, their pages in the run's shared
    // table; whole tables count every kind, day and address, their pages in a table of their
    // own: the part of a summary.
    enum class Scope { Report, Whole };
    explicit Tables(SharedLookups& shared, Scope scope = Scope::Report);

    // Counts one request. A refused request counts only among the refused (and in its
    // address's first and last); the proxy's own requests and those outside the days or the
    // address asked for are not counted. The outcome tells which.
    enum class Outcome { Counted, Refused, Proxy, Filtered };
    Outcome add(const Request& request);
    // Counts what add() kept back for a batch; the lines it points into must still be valid.
    void flush();
    // Moves what the addresses keep of their last targets into the table of all targets;
    // absorb() does, fill() needs it done.
    void settle();
    // Moves everything of other into this.
    void absorb(Tables& other);
    // The finished reports (everything but the files).
    void fill(Result& result) const;
    // Everything counted, as bytes (settled first); absorbEncoded adds what encode wrote as
    // absorb() adds tables. False for bytes that are not what encode writes: this is then
    // partly changed and must not be used.
    void encode(Writer& out);
    bool absorbEncoded(Reader& in) { return absorbEncodedWith(in, Form::Full); }
    // What a finished report keeps to be grown from: everything encode writes but the pages,
    // with report 5's traffic already placed by address instead of by destination (a tenth of
    // the bytes). absorbStanding adds it as absorb() adds tables; false as absorbEncoded.
    void encodeStanding(Writer& out) { encodeWith(out, Form::Standing); }
    bool absorbStanding(Reader& in) { return absorbEncodedWith(in, Form::Standing); }
    // What a summary file keeps of all its parts together: everything encode writes but the
    // pages, report 5's traffic still by destination (a summary is classified when a report
    // is made). absorbMerged adds it; false as absorbEncoded.
    void encodeMerged(Writer& out) { encodeWith(out, Form::Merged); }
    // `placed` places report 5's traffic by address as it is read, as a standing keeps it:
    // tables merged with others then bring a row an address, not one a destination.
    bool absorbMerged(Reader& in, bool placed = false) {
        return absorbEncodedWith(in, placed ? Form::MergedPlaced : Form::Merged);
    }
    // Report 5's traffic is placed by address as it is counted, instead of kept by target
    // until the report is made: for report tables that are only filled or kept as a standing,
    // never encoded whole or merged. Called while they are empty.
    void placeAsCounted() { placeNow_ = wantCountry_; }
    // The pages counted into these tables: their own table in whole tables.
    const SharedPages& pages() const { return *pages_; }

    std::uint64_t requests() const { return requests_; }

  private:
    enum class Form { Full, Standing, Merged, MergedPlaced };
    void encodeWith(Writer& out, Form form);
    void encodeTargets(Writer& out) const;
    bool absorbEncodedWith(Reader& in, Form form);
    // Each target's place: the database's for its destination, else inside the country when
    // its host is in the home domain.
    std::vector<std::uint8_t> targetPlaces() const;
    // Reports 1 and 2 of fill().
    void fillAgents(Result& result) const;
    std::uint8_t targetPlace(std::uint32_t target) const;
    // Traffic by pairKey(target, address) into addressTargets_, or placed.
    void addTargets(const std::vector<NumberTraffic::Entry>& entries);
    std::uint32_t addressId(std::string_view address);
    std::uint32_t agentId(std::string_view agent, std::uint64_t hash);
    std::uint32_t hostId(std::string_view host);
    std::uint32_t hostId(std::string_view lowerHost, std::uint64_t hash);
    std::uint32_t targetId(std::string_view destination, std::uint32_t suffix);
    // The host a request went to, in lower case: its host field, else its URI's host, else
    // "-". May point into lowerHost_.
    std::string_view hostOf(const Request& request);
    void addUser(AddressStats& stats, std::string_view user);

    SharedLookups& shared_;
    const Options& options_;
    bool filtered_;  // by the options' days and address
    std::unique_ptr<SharedPages> ownPages_;
    SharedPages* pages_;
    bool wantAgents_;
    bool wantHosts_;
    bool wantPages_;
    bool wantCountry_;
    bool wantSearches_;
    std::string homeDomain_;  // ".ir"

    std::uint64_t requests_ = 0;
    std::uint64_t bytes_ = 0;
    std::int64_t first_ = 0;  // of every request read, refused ones too
    std::int64_t last_ = 0;

    Traffic denied_;
    KeyTable deniedHostKeys_{shared_.seed};
    std::vector<std::uint64_t> deniedHosts_;  // refused requests by host id

    KeyTable addressKeys_{shared_.seed};
    std::vector<AddressStats> addresses_;
    std::uint32_t lastAddress_ = KeyTable::kMissing;
    // Addresses of 8 to 16 bytes (IPv4 ones) by their first and last 8 bytes and size, which
    // together are the whole text: a hit needs neither the hash nor the table. Sets of two.
    struct AddressSlot {
        std::uint64_t head = 0;
        std::uint64_t tail = 0;
        std::uint32_t size = 0;
        std::uint32_t id = KeyTable::kMissing;
    };
    static constexpr std::size_t kAddressSlots = 8192;
    static constexpr int kAddressShift = 64 - 13;  // the top bits of a product pick the set
    std::vector<AddressSlot> addressSlots_;
    KeyTable userKeys_{shared_.seed};

    KeyTable agentKeys_{shared_.seed};
    std::vector<AgentStats> agents_;
    NumberSet agentAddresses_{shared_.seed};  // (agent id, address id)
    // Pairs a standing brought into empty tables, in order; the sets may hold some again.
    std::vector<std::uint64_t> frozenAgentAddresses_;
    std::vector<std::uint64_t> frozenHostAddresses_;

    std::array<Traffic, 24> hours_{};
    std::array<std::array<std::uint64_t, 24>, 7> weekdays_{};
    int lastDay_ = 0;
    int lastWeekday_ = 0;

    KeyTable hostKeys_{shared_.seed};
    std::vector<HostStats> hosts_;
    NumberSet hostAddresses_{shared_.seed};  // (host id, address id)

    // Report 5 is classified when it is made: the traffic of each address goes to a target,
    // a destination with the host's last label (which decides a destination not known to the
    // country database).
    KeyTable destinationKeys_{shared_.seed};      // "" for none
    KeyTable suffixKeys_{shared_.seed};           // ".ir", "" for a host without a dot
    KeyTable targetKeys_{shared_.seed};           // the 8 bytes of pairKey(destination, suffix)
    NumberTraffic addressTargets_{shared_.seed};  // by pairKey(target, address)
    std::vector<std::array<Traffic, kPlaceCount>> placed_;  // by address: what a standing placed
    std::vector<NumberTraffic::Entry> pendingTargets_;      // for addressTargets_, in batches
    bool placeNow_ = false;
    static constexpr std::uint8_t kNotPlaced = 0xFF;
    std::vector<std::uint8_t> placeOfTarget_;  // by target, once placed

    std::array<std::uint64_t, 9> engineSearches_{};
    KeyTable phraseKeys_{shared_.seed};
    std::vector<std::uint64_t> phraseSearches_;
    std::string lowerHost_;
    std::string joinedUri_;  // a URI whose query was logged apart, for its search
    std::vector<SharedPages::Pending> pendingPages_;
    std::vector<SharedPages::Pending> pageScratch_;
    std::vector<std::uint64_t> pendingHostAddresses_;  // for hostAddresses_, in batches
};

// Bytes as logged: digits, "-" (or anything else) as 0.
std::uint64_t parseBytes(std::string_view text);
// A request for a page rather than a picture, style sheet or download.
bool isPageView(std::string_view mime, std::string_view uri);

}  // namespace kestrand::reports
