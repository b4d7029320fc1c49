#include "kestrand/reports/tables.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <future>
#include <iterator>
#include <unordered_map>

#include "kestrand/reports/agents.h"
#include "kestrand/reports/codec.h"
#include "kestrand/reports/country.h"
#include "kestrand/reports/searches.h"
#include "kestrand/reports/text.h"

namespace kestrand::reports {

namespace {

constexpr std::size_t kTopPhrases = 100;

// Sorts numbers 16 bits at a time from the lowest, skipping the bits every number shares: pairs
// of ids below 65,536 take two passes.
// Sorts by a 64-bit key, 16 bits a pass (a pass where every key has the same bits is skipped).
template <class T, class KeyOf>
void radixSort(std::vector<T>& values, std::vector<T>& scratch, KeyOf keyOf) {
    if (values.size() < 4096) {
        std::sort(values.begin(), values.end(),
                  [&](const T& a, const T& b) { return keyOf(a) < keyOf(b); });
        return;
    }
    scratch.resize(values.size());
    std::vector<std::size_t> starts(std::size_t{1} << 16);
    for (int shift = 0; shift < 64; shift += 16) {
        std::fill(starts.begin(), starts.end(), 0);
        for (const T& value : values) {
            ++starts[(keyOf(value) >> shift) & 0xFFFF];
        }
        if (starts[(keyOf(values[0]) >> shift) & 0xFFFF] == values.size()) {
            continue;
        }
        std::size_t at = 0;
        for (std::size_t& start : starts) {
            at += std::exchange(start, at);
        }
        for (const T& value : values) {
            scratch[starts[(keyOf(value) >> shift) & 0xFFFF]++] = value;
        }
        values.swap(scratch);
    }
}

void sortNumbers(std::vector<std::uint64_t>& values, std::vector<std::uint64_t>& scratch) {
    radixSort(values, scratch, [](std::uint64_t value) { return value; });
}

// The pairs of a set and of an ordered list, each once, in order, into sorted.
void mergedPairs(const NumberSet& set, const std::vector<std::uint64_t>& frozen,
                 std::vector<std::uint64_t>& sorted, std::vector<std::uint64_t>& scratch) {
    sorted.clear();
    sorted.reserve(set.size());
    set.forEach([&](std::uint64_t key) { sorted.push_back(key); });
    sortNumbers(sorted, scratch);
    if (frozen.empty()) {
        return;
    }
    scratch.clear();
    scratch.reserve(frozen.size() + sorted.size());
    std::set_union(frozen.begin(), frozen.end(), sorted.begin(), sorted.end(),
                   std::back_inserter(scratch));
    sorted.swap(scratch);
}

// Adds one address's traffic by place to another's.
void addPlaces(std::array<Traffic, kPlaceCount>& into,
               const std::array<Traffic, kPlaceCount>& from) {
    for (std::size_t place = 0; place < kPlaceCount; ++place) {
        into[place].requests += from[place].requests;
        into[place].bytes += from[place].bytes;
    }
}

constexpr std::size_t kTopDeniedHosts = 100;
// The agent of a request whose layout logs none: a line never holds a line break.
constexpr std::string_view kNoAgent = "\n";

constexpr std::array<std::string_view, 19> kNotPages{
    ".gif",  ".jpg",   ".jpeg", ".png", ".bmp", ".ico", ".css", ".js",  ".swf", ".svg",
    ".woff", ".woff2", ".ttf",  ".mp3", ".mp4", ".zip", ".exe", ".cab", ".xml"};

std::string_view withoutQuery(std::string_view uri) {
    for (std::size_t i = 0; i < uri.size(); ++i) {
        if (uri[i] == '?' || uri[i] == '#') {
            return uri.substr(0, i);
        }
    }
    return uri;
}

bool hasUpper(std::string_view text) {
    for (const char c : text) {
        if (c >= 'A' && c <= 'Z') {
            return true;
        }
    }
    return false;
}

template <typename Row, typename Count>
void sortRows(std::vector<Row>& rows, Count count, bool (*less)(const Row&, const Row&)) {
    std::sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
        if (count(a) != count(b)) {
            return count(a) > count(b);
        }
        return less(a, b);
    });
}

// Adds the counts of users to mine, by user id. A long list is looked up by a map, so that
// an address of many users costs no more than its users.
void mergeUsers(std::vector<std::pair<std::uint32_t, std::uint64_t>>& mine,
                const std::vector<std::pair<std::uint32_t, std::uint64_t>>& users) {
    if (mine.size() * users.size() <= 1024) {
        for (const auto& [user, count] : users) {
            bool found = false;
            for (auto& [mineId, mineCount] : mine) {
                if (mineId == user) {
                    mineCount += count;
                    found = true;
                    break;
                }
            }
            if (!found) {
                mine.emplace_back(user, count);
            }
        }
        return;
    }
    std::unordered_map<std::uint32_t, std::size_t> index;
    for (std::size_t i = 0; i < mine.size(); ++i) {
        index.emplace(mine[i].first, i);
    }
    for (const auto& [user, count] : users) {
        const auto [it, isNew] = index.emplace(user, mine.size());
        if (isNew) {
            mine.emplace_back(user, count);
        } else {
            mine[it->second].second += count;
        }
    }
}

// Adds to the count of a text in a table of texts and their counts.
void addCount(KeyTable& keys, std::vector<std::uint64_t>& counts, std::string_view text,
              std::uint64_t count) {
    bool isNew = false;
    const std::uint32_t id = keys.intern(text, isNew);
    if (isNew) {
        counts.push_back(0);
    }
    counts[id] += count;
}

// The two ids of a key made of the 8 bytes of a pairKey.
std::pair<std::uint32_t, std::uint32_t> unpackPair(std::string_view key) {
    std::uint64_t value = 0;
    std::memcpy(&value, key.data(), sizeof value);
    return {static_cast<std::uint32_t>(value >> 32), static_cast<std::uint32_t>(value)};
}

}  // namespace

std::uint64_t parseBytes(std::string_view text) {
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

bool isPageView(std::string_view mime, std::string_view uri) {
    if (!isPlaceholder(mime)) {
        constexpr std::string_view kHtml = "text/html";
        if (mime.size() < kHtml.size()) {
            return false;
        }
        for (std::size_t i = 0; i < kHtml.size(); ++i) {
            if (asciiLower(mime[i]) != kHtml[i]) {
                return false;
            }
        }
        return true;
    }
    const std::string_view path = withoutQuery(uri);
    // Only the last 7 bytes can hold an extension of the list, after a dot.
    const std::string_view tail = path.substr(path.size() > 7 ? path.size() - 7 : 0);
    const std::size_t dot = tail.rfind('.');
    if (dot == std::string_view::npos) {
        return true;
    }
    const std::string_view extension = tail.substr(dot);
    for (const std::string_view ext : kNotPages) {
        if (extension.size() == ext.size() && endsWithNoCase(extension, ext)) {
            return false;
        }
    }
    return true;
}

SharedPages::SharedPages(std::uint64_t seed) : seed_(seed) {
    for (auto& shard : shards_) {
        shard = std::make_unique<Shard>(seed);
    }
}

void SharedPages::count(std::vector<Pending>& pending, std::vector<Pending>& scratch) {
    // Grouped by shard (the hash's top bits; the slot comes from the bottom ones).
    std::array<std::uint32_t, kShards + 1> starts{};
    for (const Pending& p : pending) {
        ++starts[(p.hash >> 58) + 1];
    }
    for (std::size_t s = 0; s < kShards; ++s) {
        starts[s + 1] += starts[s];
    }
    scratch.resize(pending.size());
    std::array<std::uint32_t, kShards> next{};
    std::copy(starts.begin(), starts.end() - 1, next.begin());
    for (const Pending& p : pending) {
        scratch[next[p.hash >> 58]++] = p;
    }
    const auto countShard = [&](std::size_t s, Shard& shard) {
        constexpr std::uint32_t kAhead = 8;
        const std::uint32_t end = starts[s + 1];
        for (std::uint32_t i = starts[s]; i < end; ++i) {
            if (i + kAhead < end) {
                shard.keys.prefetch(scratch[i + kAhead].hash);
            }
            bool isNew = false;
            const std::uint32_t id = shard.keys.intern(scratch[i].page, scratch[i].hash, isNew);
            if (isNew) {
                shard.views.push_back(0);
            }
            shard.views[id] += scratch[i].views;
        }
    };
    // A shard another worker holds is done after the others.
    std::array<bool, kShards> busy{};
    for (std::size_t s = 0; s < kShards; ++s) {
        if (starts[s] == starts[s + 1]) {
            continue;
        }
        Shard& shard = *shards_[s];
        std::unique_lock lock(shard.mutex, std::try_to_lock);
        if (!lock.owns_lock()) {
            busy[s] = true;
            continue;
        }
        countShard(s, shard);
    }
    for (std::size_t s = 0; s < kShards; ++s) {
        if (busy[s]) {
            const std::lock_guard lock(shards_[s]->mutex);
            countShard(s, *shards_[s]);
        }
    }
    pending.clear();
}

std::vector<std::pair<std::string, std::uint64_t>> SharedPages::top(std::size_t limit) const {
    std::vector<std::pair<std::string_view, std::uint64_t>> best;
    const auto better = [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    };
    for (const auto& shardPointer : shards_) {
        const Shard& shard = *shardPointer;
        for (std::uint32_t i = 0; i < shard.views.size(); ++i) {
            best.emplace_back(shard.keys.key(i), shard.views[i]);
        }
        // Keep the list short: only the best `limit` can stay.
        if (best.size() > 4 * limit + 1024) {
            std::partial_sort(best.begin(), best.begin() + static_cast<std::ptrdiff_t>(limit),
                              best.end(), better);
            best.resize(limit);
        }
    }
    const std::size_t keep = std::min(limit, best.size());
    std::partial_sort(best.begin(), best.begin() + static_cast<std::ptrdiff_t>(keep), best.end(),
                      better);
    std::vector<std::pair<std::string, std::uint64_t>> out;
    for (std::size_t i = 0; i < keep; ++i) {
        out.emplace_back(std::string(best[i].first), best[i].second);
    }
    return out;
}

void SharedPages::add(std::string_view page, std::uint64_t views) {
    const std::uint64_t h = hash(page);
    Shard& shard = *shards_[h >> 58];
    const std::lock_guard lock(shard.mutex);
    bool isNew = false;
    const std::uint32_t id = shard.keys.intern(page, h, isNew);
    if (isNew) {
        shard.views.push_back(0);
    }
    shard.views[id] += views;
}

void SharedPages::absorb(const SharedPages& other) {
    std::vector<Pending> pending;
    pending.reserve(other.size());
    other.forEach([&](std::string_view page, std::uint64_t views) {
        pending.push_back(Pending{hash(page), page, views});
    });
    std::vector<Pending> scratch;
    count(pending, scratch);
}

std::size_t SharedPages::size() const {
    std::size_t n = 0;
    for (const auto& shard : shards_) {
        n += shard->views.size();
    }
    return n;
}

SharedLookups::SharedLookups(const Options& options, const AgentClassifier* agents,
                             const CountryDatabase* countries, std::uint64_t seed)
    : options(options), seed(seed), pages(seed), agents_(agents), countries_(countries) {}

AgentClass SharedLookups::agentClass(std::string_view agent) {
    if (agents_ == nullptr) {
        return AgentClass{"Other", "Other"};
    }
    return agentClasses_.get(agent,
                             [this](std::string_view text) { return agents_->classify(text); });
}

int SharedLookups::destinationPlace(std::string_view destination) {
    if (isPlaceholder(destination)) {
        return kUnknown;
    }
    if (isLocalAddress(destination)) {
        return kLocal;
    }
    if (countries_ == nullptr) {
        return kUnknown;
    }
    return places_.get(destination, [this](std::string_view text) {
        const std::optional<std::string> country = countries_->countryOf(text);
        if (!country) {
            return static_cast<int>(kUnknown);
        }
        return static_cast<int>(*country == options.homeCountry ? kInside : kOutside);
    });
}

Tables::Tables(SharedLookups& shared, Scope scope)
    : shared_(shared),
      options_(shared.options),
      filtered_(scope == Scope::Report),
      ownPages_(scope == Scope::Whole ? std::make_unique<SharedPages>(shared.seed) : nullptr),
      pages_(scope == Scope::Whole ? ownPages_.get() : &shared.pages),
      wantAgents_(scope == Scope::Whole || options_.kinds[1] || options_.kinds[2]),
      wantHosts_(scope == Scope::Whole || options_.kinds[4] || options_.kinds[5] ||
                 options_.kinds[6]),
      wantPages_(scope == Scope::Whole || options_.kinds[4]),
      wantCountry_(scope == Scope::Whole || options_.kinds[5]),
      wantSearches_(scope == Scope::Whole || options_.kinds[6]),
      homeDomain_("." + lowerAscii(options_.homeCountry)) {}

std::uint32_t Tables::addressId(std::string_view address) {
    AddressSlot* slot = nullptr;
    if (address.size() >= 8 && address.size() <= 16) {
        std::uint64_t head = 0;
        std::uint64_t tail = 0;
        std::memcpy(&head, address.data(), 8);
        std::memcpy(&tail, address.data() + address.size() - 8, 8);
        const std::uint64_t mixed =
            ((head * 0x9E3779B97F4A7C15ull) ^ tail ^ address.size()) * 0xBF58476D1CE4E5B9ull;
        if (addressSlots_.empty()) {
            addressSlots_.resize(kAddressSlots);
        }
        // Two ways a set, looked at in turn; a hit leaves them as they are, a miss moves the
        // first way into the second and puts the new address first.
        slot = &addressSlots_[(mixed >> kAddressShift) & ~std::uint64_t{1}];
        for (std::size_t way = 0; way < 2; ++way) {
            if (slot[way].id != KeyTable::kMissing && slot[way].head == head &&
                slot[way].tail == tail && slot[way].size == address.size()) {
                return slot[way].id;
            }
        }
        slot[1] = slot[0];
        slot->head = head;
        slot->tail = tail;
        slot->size = static_cast<std::uint32_t>(address.size());
    } else if (lastAddress_ != KeyTable::kMissing && addressKeys_.key(lastAddress_) == address) {
        return lastAddress_;
    }
    bool isNew = false;
    const std::uint32_t id = addressKeys_.intern(address, isNew);
    if (isNew) {
        addresses_.emplace_back();
    }
    lastAddress_ = id;
    if (slot != nullptr) {
        slot->id = id;
    }
    return id;
}

std::uint32_t Tables::agentId(std::string_view agent, std::uint64_t hash) {
    bool isNew = false;
    const std::uint32_t id = agentKeys_.intern(agent, hash, isNew);
    if (isNew) {
        AgentStats stats;
        stats.proxy = isProxyAgent(agent);
        if (wantAgents_ && agent != kNoAgent && !stats.proxy) {
            // Classified now for the report to find it made: the workers share the work.
            shared_.agentClass(agent);
        }
        agents_.push_back(stats);
    }
    return id;
}

std::uint32_t Tables::hostId(std::string_view host) {
    if (hasUpper(host)) {
        lowerHost_ = lowerAscii(host);
        host = lowerHost_;
    }
    return hostId(host, hostKeys_.hash(host));
}

std::uint32_t Tables::hostId(std::string_view lowerHost, std::uint64_t hash) {
    bool isNew = false;
    const std::uint32_t id = hostKeys_.intern(lowerHost, hash, isNew);
    if (isNew) {
        HostStats stats;
        stats.engine = searchEngineOf(lowerHost);
        const std::size_t dot = lowerHost.rfind('.');
        stats.suffix = suffixKeys_.intern(dot == std::string_view::npos ? std::string_view()
                                                                        : lowerHost.substr(dot));
        hosts_.push_back(stats);
    }
    return id;
}

std::uint32_t Tables::targetId(std::string_view destination, std::uint32_t suffix) {
    std::uint32_t id = destinationKeys_.intern(destination);
    const std::uint64_t key = pairKey(id, suffix);
    return targetKeys_.intern(std::string_view(reinterpret_cast<const char*>(&key), sizeof key));
}

std::string_view Tables::hostOf(const Request& request) {
    std::string_view host = request.host;
    if (isPlaceholder(host)) {
        host = hostOfUri(request.uri);
        if (host.empty()) {
            host = "-";
        }
    }
    if (hasUpper(host)) {
        lowerHost_ = lowerAscii(host);
        host = lowerHost_;
    }
    return host;
}

void Tables::addUser(AddressStats& stats, std::string_view user) {
    if (isPlaceholder(user)) {
        return;
    }
    if (stats.lastUser < stats.users.size() &&
        sameText(userKeys_.key(stats.users[stats.lastUser].first), user)) {
        ++stats.users[stats.lastUser].second;
        return;
    }
    const std::uint32_t id = userKeys_.intern(user);
    for (std::uint32_t i = 0; i < stats.users.size(); ++i) {
        if (stats.users[i].first == id) {
            ++stats.users[i].second;
            stats.lastUser = i;
            return;
        }
    }
    stats.lastUser = static_cast<std::uint32_t>(stats.users.size());
    stats.users.emplace_back(id, 1);
}

Tables::Outcome Tables::add(const Request& request) {
    const int day = dayNumber(request.date);
    if (filtered_ &&
        ((options_.from && day < *options_.from) || (options_.to && day > *options_.to) ||
         (!options_.onlyAddress.empty() && request.address != options_.onlyAddress))) {
        return Outcome::Filtered;
    }
    const std::uint32_t addressIndex = addressId(request.address);
    // The address's figures and the host's slot start loading now, to be there when they are
    // used below.
    const char* figures = reinterpret_cast<const char*>(&addresses_[addressIndex]);
    for (std::size_t line = 0; line < sizeof(AddressStats); line += 64) {
        __builtin_prefetch(figures + line);
    }
    std::string_view hostText;
    std::uint64_t hostHash = 0;
    if (wantHosts_) {
        hostText = hostOf(request);
        hostHash = hostKeys_.hash(hostText);
        hostKeys_.prefetch(hostHash);
    }
    AddressStats& address = addresses_[addressIndex];
    // A repeat is found by its fingerprint and bytes: cheaper than hashing a long agent.
    const std::string_view agentText = request.agentLogged ? request.agent : kNoAgent;
    const std::uint64_t agentPrint = fingerprint(agentText);
    std::uint32_t agent = KeyTable::kMissing;
    for (std::size_t i = 0; i < address.recentAgents.size(); ++i) {
        const std::uint32_t recent = address.recentAgents[i];
        if (recent != KeyTable::kMissing && address.recentAgentPrints[i] == agentPrint &&
            sameText(agentKeys_.key(recent), agentText)) {
            agent = recent;
            break;
        }
    }
    const bool sameAgent = agent != KeyTable::kMissing;
    if (!sameAgent) {
        agent = agentId(agentText, agentKeys_.hash(agentText));
        // Only a counted request may stand for the agent's pairs with this address below.
        if (!request.refused) {
            address.recentAgents[address.nextRecentAgent] = agent;
            address.recentAgentPrints[address.nextRecentAgent] = agentPrint;
            address.nextRecentAgent = (address.nextRecentAgent + 1) % address.recentAgents.size();
        }
    }
    if (agents_[agent].proxy) {
        return Outcome::Proxy;
    }
    const std::uint64_t bytes = parseBytes(request.bytes);
    const std::int64_t moment = momentOf(request.date, request.seconds);
    const int hour = request.seconds / 3600;

    const bool firstOfAll = requests_ + denied_.requests == 0;
    if (firstOfAll || moment < first_) {
        first_ = moment;
    }
    if (firstOfAll || moment > last_) {
        last_ = moment;
    }
    const bool firstOfAddress = address.requests + address.denied == 0;
    if (firstOfAddress || moment < address.first) {
        address.first = moment;
    }
    if (firstOfAddress || moment > address.last) {
        address.last = moment;
    }
    if (request.refused) {
        ++address.denied;
        ++denied_.requests;
        denied_.bytes += bytes;
        addCount(deniedHostKeys_, deniedHosts_, wantHosts_ ? hostText : hostOf(request), 1);
        return Outcome::Refused;
    }
    ++requests_;
    bytes_ += bytes;
    ++address.requests;
    address.bytes += bytes;
    address.hours |= 1u << hour;
    addUser(address, request.user);

    if (wantAgents_) {
        AgentStats& stats = agents_[agent];
        ++stats.requests;
        if (!sameAgent && stats.lastAddress != addressIndex) {
            stats.lastAddress = addressIndex;
            agentAddresses_.insert(pairKey(agent, addressIndex));
        }
    }

    hours_[static_cast<std::size_t>(hour)].requests++;
    hours_[static_cast<std::size_t>(hour)].bytes += bytes;
    if (day != lastDay_) {
        lastDay_ = day;
        lastWeekday_ = weekday(request.date);
    }
    ++weekdays_[static_cast<std::size_t>(lastWeekday_)][static_cast<std::size_t>(hour)];

    if (!wantHosts_) {
        return Outcome::Counted;
    }
    const std::uint64_t hostPrint = fingerprint(hostText);
    std::uint32_t hostIndex = KeyTable::kMissing;
    for (std::size_t i = 0; i < address.recentHosts.size(); ++i) {
        const std::uint32_t recent = address.recentHosts[i];
        if (recent != KeyTable::kMissing && address.recentHostPrints[i] == hostPrint &&
            sameText(hostKeys_.key(recent), hostText)) {
            hostIndex = recent;
            break;
        }
    }
    const bool sameHost = hostIndex != KeyTable::kMissing;
    if (!sameHost) {
        hostIndex = hostId(hostText, hostHash);
        address.recentHosts[address.nextRecentHost] = hostIndex;
        address.recentHostPrints[address.nextRecentHost] = hostPrint;
        address.nextRecentHost = (address.nextRecentHost + 1) % address.recentHosts.size();
    }
    HostStats& host = hosts_[hostIndex];
    if (wantPages_) {
        ++host.requests;
        host.bytes += bytes;
        if (!sameHost && host.lastAddress != addressIndex) {
            host.lastAddress = addressIndex;
            pendingHostAddresses_.push_back(pairKey(hostIndex, addressIndex));
        }
        if (!request.tunnel && isPageView(request.mime, request.uri)) {
            ++host.pages;
            const std::string_view page = withoutQuery(request.uri);
            pendingPages_.push_back(SharedPages::Pending{pages_->hash(page), page});
        }
    }
    if (wantCountry_) {
        const std::string_view destination =
            isPlaceholder(request.destination) ? std::string_view() : request.destination;
        std::uint32_t target = KeyTable::kMissing;
        if (destination.empty()) {
            if (host.noneTarget == KeyTable::kMissing) {
                host.noneTarget = targetId(destination, host.suffix);
            }
            target = host.noneTarget;
        } else if (host.lastTarget != KeyTable::kMissing &&
                   destination.size() == host.lastDestinationSize &&
                   sameBytes(host.lastDestinationText.data(), destination.data(),
                             destination.size())) {
            target = host.lastTarget;
        } else {
            target = targetId(destination, host.suffix);
            host.lastTarget = target;
            host.lastDestinationSize = kNoDestinationKept;
            if (destination.size() <= host.lastDestinationText.size()) {
                std::memcpy(host.lastDestinationText.data(), destination.data(),
                            destination.size());
                host.lastDestinationSize = static_cast<std::uint8_t>(destination.size());
            }
        }
        std::size_t slot = 0;
        while (slot < address.recentTargets.size() && address.recentTargets[slot] != target) {
            ++slot;
        }
        if (slot == address.recentTargets.size()) {
            slot = address.nextRecentTarget;
            address.nextRecentTarget =
                (address.nextRecentTarget + 1) % address.recentTargets.size();
            Traffic& old = address.recentTargetTraffic[slot];
            if (old.requests > 0) {
                pendingTargets_.push_back(NumberTraffic::Entry{
                    pairKey(address.recentTargets[slot], addressIndex), old.requests, old.bytes});
            }
            address.recentTargets[slot] = target;
            old = Traffic{};
        }
        ++address.recentTargetTraffic[slot].requests;
        address.recentTargetTraffic[slot].bytes += bytes;
    }
    if (wantSearches_ && host.engine >= 0) {
        std::string_view uri = request.uri;
        if (!request.query.empty()) {
            joinedUri_.assign(uri);
            joinedUri_ += uri.find('?') == std::string_view::npos ? '?' : '&';
            joinedUri_ += request.query;
            uri = joinedUri_;
        }
        const std::string phrase = searchPhrase(host.engine, uri);
        if (!phrase.empty()) {
            ++engineSearches_[static_cast<std::size_t>(host.engine)];
            ++address.searches;
            addCount(phraseKeys_, phraseSearches_, phrase, 1);
        }
    }
    return Outcome::Counted;
}

void Tables::flush() {
    if (!pendingPages_.empty()) {
        pages_->count(pendingPages_, pageScratch_);
    }
    hostAddresses_.insertAll(pendingHostAddresses_);
    pendingHostAddresses_.clear();
    addTargets(pendingTargets_);
    pendingTargets_.clear();
}

void Tables::addTargets(const std::vector<NumberTraffic::Entry>& entries) {
    if (!placeNow_) {
        addressTargets_.addAll(entries);
        return;
    }
    placed_.resize(addresses_.size());
    placeOfTarget_.resize(targetKeys_.size(), kNotPlaced);
    for (const NumberTraffic::Entry& entry : entries) {
        const auto target = static_cast<std::uint32_t>(entry.key >> 32);
        std::uint8_t& place = placeOfTarget_[target];
        if (place == kNotPlaced) {
            place = targetPlace(target);
        }
        Traffic& traffic = placed_[static_cast<std::uint32_t>(entry.key)][place];
        traffic.requests += entry.requests;
        traffic.bytes += entry.bytes;
    }
}

void Tables::settle() {
    flush();
    for (std::uint32_t i = 0; i < addresses_.size(); ++i) {
        AddressStats& address = addresses_[i];
        for (std::size_t slot = 0; slot < address.recentTargets.size(); ++slot) {
            Traffic& traffic = address.recentTargetTraffic[slot];
            if (traffic.requests > 0) {
                pendingTargets_.push_back(NumberTraffic::Entry{
                    pairKey(address.recentTargets[slot], i), traffic.requests, traffic.bytes});
                traffic = Traffic{};
            }
        }
    }
    addTargets(pendingTargets_);
    pendingTargets_.clear();
}

void Tables::absorb(Tables& other) {
    settle();
    other.settle();
    if (other.requests_ + other.denied_.requests > 0) {
        const bool none = requests_ + denied_.requests == 0;
        if (none || other.first_ < first_) {
            first_ = other.first_;
        }
        if (none || other.last_ > last_) {
            last_ = other.last_;
        }
    }
    requests_ += other.requests_;
    bytes_ += other.bytes_;
    denied_.requests += other.denied_.requests;
    denied_.bytes += other.denied_.bytes;
    for (std::uint32_t i = 0; i < other.deniedHosts_.size(); ++i) {
        addCount(deniedHostKeys_, deniedHosts_, other.deniedHostKeys_.key(i),
                 other.deniedHosts_[i]);
    }

    std::vector<std::uint32_t> addressMap(other.addresses_.size());
    for (std::uint32_t i = 0; i < other.addresses_.size(); ++i) {
        const std::uint32_t id = addressId(other.addressKeys_.key(i));
        addressMap[i] = id;
        AddressStats& mine = addresses_[id];
        AddressStats& theirs = other.addresses_[i];
        if (theirs.requests + theirs.denied > 0) {
            const bool none = mine.requests + mine.denied == 0;
            if (none || theirs.first < mine.first) {
                mine.first = theirs.first;
            }
            if (none || theirs.last > mine.last) {
                mine.last = theirs.last;
            }
        }
        mine.requests += theirs.requests;
        mine.bytes += theirs.bytes;
        mine.denied += theirs.denied;
        mine.hours |= theirs.hours;
        mine.searches += theirs.searches;
        for (auto& [userId, count] : theirs.users) {
            userId = userKeys_.intern(other.userKeys_.key(userId));
        }
        mergeUsers(mine.users, theirs.users);
    }

    if (!other.placed_.empty()) {
        placed_.resize(addresses_.size());
        for (std::size_t i = 0; i < other.placed_.size(); ++i) {
            addPlaces(placed_[addressMap[i]], other.placed_[i]);
        }
    }

    // Each worker numbered the agents it met: other's are found by text.
    std::vector<std::uint32_t> agentMap(other.agents_.size());
    for (std::uint32_t i = 0; i < other.agents_.size(); ++i) {
        bool isNew = false;
        const std::uint32_t id = agentKeys_.intern(other.agentKeys_.key(i), isNew);
        if (isNew) {
            AgentStats stats;
            stats.proxy = other.agents_[i].proxy;
            agents_.push_back(stats);
        }
        agentMap[i] = id;
        agents_[id].requests += other.agents_[i].requests;
    }
    // Pairs mapped into this, then placed in one batch with their slots loaded ahead.
    std::vector<std::uint64_t> pairs;
    const auto mapPairs = [&](const std::vector<std::uint64_t>& frozen, const NumberSet& set,
                              const std::vector<std::uint32_t>& high) {
        pairs.clear();
        pairs.reserve(frozen.size() + set.size());
        for (const std::uint64_t key : frozen) {
            pairs.push_back(pairKey(high[static_cast<std::uint32_t>(key >> 32)],
                                    addressMap[static_cast<std::uint32_t>(key)]));
        }
        set.forEach([&](std::uint64_t key) {
            pairs.push_back(pairKey(high[static_cast<std::uint32_t>(key >> 32)],
                                    addressMap[static_cast<std::uint32_t>(key)]));
        });
    };
    mapPairs(other.frozenAgentAddresses_, other.agentAddresses_, agentMap);
    agentAddresses_.insertAll(pairs);

    for (std::size_t h = 0; h < hours_.size(); ++h) {
        hours_[h].requests += other.hours_[h].requests;
        hours_[h].bytes += other.hours_[h].bytes;
        for (std::size_t d = 0; d < weekdays_.size(); ++d) {
            weekdays_[d][h] += other.weekdays_[d][h];
        }
    }

    std::vector<std::uint32_t> hostMap(other.hosts_.size());
    for (std::uint32_t i = 0; i < other.hosts_.size(); ++i) {
        const std::uint32_t id = hostId(other.hostKeys_.key(i));
        hostMap[i] = id;
        hosts_[id].requests += other.hosts_[i].requests;
        hosts_[id].pages += other.hosts_[i].pages;
        hosts_[id].bytes += other.hosts_[i].bytes;
    }
    mapPairs(other.frozenHostAddresses_, other.hostAddresses_, hostMap);
    hostAddresses_.insertAll(pairs);
    std::vector<std::uint32_t> targetMap(other.targetKeys_.size());
    for (std::uint32_t t = 0; t < other.targetKeys_.size(); ++t) {
        const auto [destination, suffix] = unpackPair(other.targetKeys_.key(t));
        targetMap[t] = targetId(other.destinationKeys_.key(destination),
                                suffixKeys_.intern(other.suffixKeys_.key(suffix)));
    }
    std::vector<NumberTraffic::Entry> traffic;
    traffic.reserve(other.addressTargets_.size());
    other.addressTargets_.forEach([&](const NumberTraffic::Entry& entry) {
        traffic.push_back(
            NumberTraffic::Entry{pairKey(targetMap[static_cast<std::uint32_t>(entry.key >> 32)],
                                         addressMap[static_cast<std::uint32_t>(entry.key)]),
                                 entry.requests, entry.bytes});
    });
    addTargets(traffic);
    for (std::size_t e = 0; e < engineSearches_.size(); ++e) {
        engineSearches_[e] += other.engineSearches_[e];
    }
    if (other.pages_ != pages_) {
        pages_->absorb(*other.pages_);
    }
    for (std::uint32_t i = 0; i < other.phraseSearches_.size(); ++i) {
        addCount(phraseKeys_, phraseSearches_, other.phraseKeys_.key(i), other.phraseSearches_[i]);
    }
}

void Tables::fillAgents(Result& result) const {
    // Each distinct agent is classified once; its rows and address pairs follow.
    std::vector<AgentClass> classes(agents_.size());
    for (std::uint32_t a = 0; a < agents_.size(); ++a) {
        if (agents_[a].requests == 0) {
            continue;
        }
        if (agentKeys_.key(a) == kNoAgent) {
            classes[a] = AgentClass{std::string(kAgentNotLogged), std::string(kAgentNotLogged)};
        } else {
            classes[a] = shared_.agentClass(agentKeys_.key(a));
        }
    }
    const auto namedRows = [&](std::string AgentClass::*field, bool windowsFirst) {
        KeyTable names(shared_.seed);
        std::vector<NamedRow> rows;
        std::vector<std::uint32_t> rowOf(agents_.size(), KeyTable::kMissing);
        for (std::uint32_t a = 0; a < agents_.size(); ++a) {
            if (agents_[a].requests == 0) {
                continue;
            }
            bool isNew = false;
            rowOf[a] = names.intern(classes[a].*field, isNew);
            if (isNew) {
                rows.push_back(NamedRow{classes[a].*field, 0, 0});
            }
            rows[rowOf[a]].requests += agents_[a].requests;
        }
        NumberSet pairs(shared_.seed);
        const auto count = [&](std::uint64_t key) {
            const std::uint32_t row = rowOf[key >> 32];
            if (row != KeyTable::kMissing &&
                pairs.insert(pairKey(row, static_cast<std::uint32_t>(key)))) {
                ++rows[row].addresses;
            }
        };
        agentAddresses_.forEach(count);
        std::for_each(frozenAgentAddresses_.begin(), frozenAgentAddresses_.end(), count);
        std::sort(rows.begin(), rows.end(), [&](const NamedRow& a, const NamedRow& b) {
            if (windowsFirst) {
                const bool aw = a.name.starts_with("Windows");
                const bool bw = b.name.starts_with("Windows");
                if (aw != bw) {
                    return aw;
                }
            }
            if (a.requests != b.requests) {
                return a.requests > b.requests;
            }
            return a.name < b.name;
        });
        return rows;
    };
    if (options_.kinds[1]) {
        result.windows = namedRows(&AgentClass::os, true);
    }
    if (options_.kinds[2]) {
        result.browsers = namedRows(&AgentClass::browser, false);
    }
}

void Tables::fill(Result& result) const {
    result.totals.requests = requests_;
    result.totals.bytes = bytes_;
    std::uint64_t activeAddresses = 0;
    for (const AddressStats& stats : addresses_) {
        activeAddresses += stats.requests > 0 ? 1 : 0;
    }
    result.totals.addresses = activeAddresses;
    if (requests_ + denied_.requests > 0) {
        result.first = formatMoment(first_);
        result.last = formatMoment(last_);
    }
    result.denied.requests = denied_.requests;
    result.denied.bytes = denied_.bytes;
    for (std::uint32_t i = 0; i < deniedHosts_.size(); ++i) {
        result.denied.hosts.push_back(
            DeniedHost{displayText(deniedHostKeys_.key(i)), deniedHosts_[i]});
    }
    sortRows<DeniedHost>(
        result.denied.hosts, [](const DeniedHost& r) { return r.requests; },
        [](const DeniedHost& a, const DeniedHost& b) { return a.host < b.host; });
    if (result.denied.hosts.size() > kTopDeniedHosts) {
        result.denied.hosts.resize(kTopDeniedHosts);
    }
    if (options_.kinds[0]) {
        for (std::uint32_t i = 0; i < addresses_.size(); ++i) {
            const AddressStats& stats = addresses_[i];
            if (stats.requests == 0 && stats.denied == 0) {
                continue;  // only the proxy's own requests came from it
            }
            AddressRow row;
            row.address = displayText(addressKeys_.key(i));
            row.requests = stats.requests;
            row.bytes = stats.bytes;
            row.denied = stats.denied;
            row.first = formatMoment(stats.first);
            row.last = formatMoment(stats.last);
            auto users = stats.users;
            std::sort(users.begin(), users.end(), [&](const auto& a, const auto& b) {
                if (a.second != b.second) {
                    return a.second > b.second;
                }
                return userKeys_.key(a.first) < userKeys_.key(b.first);
            });
            for (const auto& [userId, count] : users) {
                row.users.push_back(displayText(userKeys_.key(userId)));
            }
            result.addresses.push_back(std::move(row));
        }
        sortRows<AddressRow>(
            result.addresses, [](const AddressRow& r) { return r.requests; },
            [](const AddressRow& a, const AddressRow& b) { return a.address < b.address; });
    }

    // The agents' reports are made on a thread of their own while the others are made here:
    // each writes its own rows of the result.
    std::future<void> agentReports;
    if (options_.kinds[1] || options_.kinds[2]) {
        agentReports = std::async(std::launch::async, [this, &result] { fillAgents(result); });
    }

    if (options_.kinds[3]) {
        for (int h = 0; h < 24; ++h) {
            HourRow& row = result.hours[static_cast<std::size_t>(h)];
            row.hour = h;
            row.requests = hours_[static_cast<std::size_t>(h)].requests;
            row.bytes = hours_[static_cast<std::size_t>(h)].bytes;
        }
        for (const AddressStats& stats : addresses_) {
            for (int h = 0; h < 24; ++h) {
                if ((stats.hours >> h) & 1u) {
                    ++result.hours[static_cast<std::size_t>(h)].addresses;
                }
            }
        }
        result.weekdays = weekdays_;
        if (requests_ > 0) {
            int busiest = 0;
            for (int h = 1; h < 24; ++h) {
                if (hours_[static_cast<std::size_t>(h)].requests >
                    hours_[static_cast<std::size_t>(busiest)].requests) {
                    busiest = h;
                }
            }
            result.busiestHour = busiest;
        }
    }

    if (options_.kinds[4]) {
        std::vector<std::uint64_t> hostAddressCounts(hosts_.size());
        if (frozenHostAddresses_.empty()) {
            hostAddresses_.forEach([&](std::uint64_t key) { ++hostAddressCounts[key >> 32]; });
        } else {
            std::vector<std::uint64_t> sorted;
            std::vector<std::uint64_t> scratch;
            mergedPairs(hostAddresses_, frozenHostAddresses_, sorted, scratch);
            for (const std::uint64_t key : sorted) {
                ++hostAddressCounts[key >> 32];
            }
        }
        for (std::uint32_t i = 0; i < hosts_.size(); ++i) {
            if (hosts_[i].requests == 0) {
                continue;
            }
            result.sites.push_back(SiteRow{displayText(hostKeys_.key(i)), hosts_[i].requests,
                                           hosts_[i].pages, hosts_[i].bytes, hostAddressCounts[i]});
        }
        sortRows<SiteRow>(
            result.sites, [](const SiteRow& r) { return r.requests; },
            [](const SiteRow& a, const SiteRow& b) { return a.host < b.host; });
        for (auto& [page, views] : pages_->top(kTopPages)) {
            result.pages.push_back(PageRow{displayText(page), views});
        }
    }

    if (options_.kinds[5]) {
        result.country.home = options_.homeCountry;
        const std::vector<std::uint8_t> places = targetPlaces();
        std::vector<std::array<Traffic, kPlaceCount>> byAddress(addresses_.size());
        for (std::size_t i = 0; i < placed_.size(); ++i) {
            addPlaces(byAddress[i], placed_[i]);
            addPlaces(result.country.classes, placed_[i]);
        }
        addressTargets_.forEach([&](const NumberTraffic::Entry& entry) {
            const std::size_t place = places[entry.key >> 32];
            Traffic& traffic = byAddress[static_cast<std::uint32_t>(entry.key)][place];
            traffic.requests += entry.requests;
            traffic.bytes += entry.bytes;
            result.country.classes[place].requests += entry.requests;
            result.country.classes[place].bytes += entry.bytes;
        });
        for (std::uint32_t i = 0; i < addresses_.size(); ++i) {
            if (addresses_[i].requests == 0) {
                continue;
            }
            result.country.addresses.push_back(
                CountryRow{displayText(addressKeys_.key(i)), byAddress[i]});
        }
        const auto total = [](const CountryRow& row) {
            std::uint64_t sum = 0;
            for (const Traffic& t : row.classes) {
                sum += t.requests;
            }
            return sum;
        };
        sortRows<CountryRow>(
            result.country.addresses, total,
            [](const CountryRow& a, const CountryRow& b) { return a.address < b.address; });
    }

    if (options_.kinds[6]) {
        SearchReport& searches = result.searches;
        for (int e = 0; e < kEngineCount; ++e) {
            const std::uint64_t count = engineSearches_[static_cast<std::size_t>(e)];
            searches.total += count;
            if (count > 0) {
                searches.engines.push_back(CountRow{std::string(engineName(e)), count});
            }
        }
        for (std::uint32_t i = 0; i < addresses_.size(); ++i) {
            if (addresses_[i].searches > 0) {
                searches.addresses.push_back(
                    CountRow{displayText(addressKeys_.key(i)), addresses_[i].searches});
            }
        }
        std::vector<std::uint32_t> order(phraseSearches_.size());
        for (std::uint32_t i = 0; i < order.size(); ++i) {
            order[i] = i;
        }
        const auto phraseLess = [&](std::uint32_t a, std::uint32_t b) {
            if (phraseSearches_[a] != phraseSearches_[b]) {
                return phraseSearches_[a] > phraseSearches_[b];
            }
            return phraseKeys_.key(a) < phraseKeys_.key(b);
        };
        const std::size_t top = std::min(kTopPhrases, order.size());
        std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(top),
                          order.end(), phraseLess);
        for (std::size_t i = 0; i < top; ++i) {
            searches.phrases.push_back(
                CountRow{std::string(phraseKeys_.key(order[i])), phraseSearches_[order[i]]});
        }
        const auto countLess = [](const CountRow& a, const CountRow& b) { return a.name < b.name; };
        sortRows<CountRow>(
            searches.engines, [](const CountRow& r) { return r.searches; }, countLess);
        sortRows<CountRow>(
            searches.addresses, [](const CountRow& r) { return r.searches; }, countLess);
    }
    if (agentReports.valid()) {
        agentReports.get();
    }
}

std::uint8_t Tables::targetPlace(std::uint32_t target) const {
    const auto [destination, suffix] = unpackPair(targetKeys_.key(target));
    int place = shared_.destinationPlace(destinationKeys_.key(destination));
    if (place == kUnknown && suffixKeys_.key(suffix) == homeDomain_) {
        place = kInside;
    }
    return static_cast<std::uint8_t>(place);
}

std::vector<std::uint8_t> Tables::targetPlaces() const {
    std::vector<std::uint8_t> places(targetKeys_.size());
    for (std::uint32_t t = 0; t < targetKeys_.size(); ++t) {
        places[t] = targetPlace(t);
    }
    return places;
}

void Tables::encode(Writer& out) { encodeWith(out, Form::Full); }

void Tables::encodeTargets(Writer& out) const {
    const auto keys = [&](const KeyTable& table) {
        out.number(table.size());
        for (std::uint32_t i = 0; i < table.size(); ++i) {
            out.text(table.key(i));
        }
    };
    keys(destinationKeys_);
    keys(suffixKeys_);
    out.number(targetKeys_.size());
    for (std::uint32_t t = 0; t < targetKeys_.size(); ++t) {
        const auto [destination, suffix] = unpackPair(targetKeys_.key(t));
        out.number(destination);
        out.number(suffix);
    }
    std::vector<NumberTraffic::Entry> targets;
    targets.reserve(addressTargets_.size());
    addressTargets_.forEach([&](const NumberTraffic::Entry& entry) { targets.push_back(entry); });
    std::vector<NumberTraffic::Entry> scratch;
    radixSort(targets, scratch, [](const NumberTraffic::Entry& entry) { return entry.key; });
    out.number(targets.size());
    std::uint64_t previousTarget = 0;
    for (const NumberTraffic::Entry& entry : targets) {
        out.number(entry.key - previousTarget);
        previousTarget = entry.key;
        out.number(entry.requests);
        out.number(entry.bytes);
    }
}

void Tables::encodeWith(Writer& out, Form form) {
    settle();
    out.number(requests_);
    out.number(bytes_);
    out.signedNumber(first_);
    out.signedNumber(last_);
    out.number(denied_.requests);
    out.number(denied_.bytes);
    out.number(deniedHosts_.size());
    for (std::uint32_t i = 0; i < deniedHosts_.size(); ++i) {
        out.text(deniedHostKeys_.key(i));
        out.number(deniedHosts_[i]);
    }
    out.number(userKeys_.size());
    for (std::uint32_t i = 0; i < userKeys_.size(); ++i) {
        out.text(userKeys_.key(i));
    }
    out.number(addresses_.size());
    for (std::uint32_t i = 0; i < addresses_.size(); ++i) {
        const AddressStats& a = addresses_[i];
        out.text(addressKeys_.key(i));
        out.number(a.requests);
        out.number(a.bytes);
        out.number(a.denied);
        out.signedNumber(a.first);
        out.signedNumber(a.last);
        out.number(a.hours);
        out.number(a.searches);
        out.number(a.users.size());
        for (const auto& [user, count] : a.users) {
            out.number(user);
            out.number(count);
        }
    }
    out.number(agents_.size());
    for (std::uint32_t i = 0; i < agents_.size(); ++i) {
        out.text(agentKeys_.key(i));
        out.number(agents_[i].proxy ? 1 : 0);
        out.number(agents_[i].requests);
    }
    // Pairs in order, each as its distance from the one before: pairs of one first id are
    // then a byte or two each.
    std::vector<std::uint64_t> sorted;
    std::vector<std::uint64_t> scratch;
    const auto pairs = [&](const NumberSet& set, const std::vector<std::uint64_t>& frozen) {
        mergedPairs(set, frozen, sorted, scratch);
        out.number(sorted.size());
        std::uint64_t previous = 0;
        for (const std::uint64_t key : sorted) {
            out.number(key - previous);
            previous = key;
        }
    };
    pairs(agentAddresses_, frozenAgentAddresses_);
    for (std::size_t h = 0; h < 24; ++h) {
        out.number(hours_[h].requests);
        out.number(hours_[h].bytes);
        for (std::size_t d = 0; d < 7; ++d) {
            out.number(weekdays_[d][h]);
        }
    }
    out.number(hosts_.size());
    for (std::uint32_t i = 0; i < hosts_.size(); ++i) {
        out.text(hostKeys_.key(i));
        out.number(hosts_[i].requests);
        out.number(hosts_[i].pages);
        out.number(hosts_[i].bytes);
    }
    pairs(hostAddresses_, frozenHostAddresses_);
    if (form == Form::Standing) {
        // No destination, suffix, target or target's traffic: the traffic is placed below.
        for (int section = 0; section < 4; ++section) {
            out.number(0);
        }
    } else {
        encodeTargets(out);
    }
    for (const std::uint64_t count : engineSearches_) {
        out.number(count);
    }
    out.number(phraseSearches_.size());
    for (std::uint32_t i = 0; i < phraseSearches_.size(); ++i) {
        out.text(phraseKeys_.key(i));
        out.number(phraseSearches_[i]);
    }
    if (form == Form::Merged) {
        out.number(0);  // no page
        return;
    }
    if (form == Form::Standing) {
        out.number(0);
        // Report 5's traffic by address and place, the places decided now.
        std::vector<std::array<Traffic, kPlaceCount>> placed(addresses_.size());
        std::copy(placed_.begin(), placed_.end(), placed.begin());
        if (options_.kinds[5]) {
            const std::vector<std::uint8_t> places = targetPlaces();
            addressTargets_.forEach([&](const NumberTraffic::Entry& entry) {
                Traffic& traffic =
                    placed[static_cast<std::uint32_t>(entry.key)][places[entry.key >> 32]];
                traffic.requests += entry.requests;
                traffic.bytes += entry.bytes;
            });
        }
        const auto some = [](const std::array<Traffic, kPlaceCount>& row) {
            return std::any_of(row.begin(), row.end(),
                               [](const Traffic& t) { return t.requests + t.bytes > 0; });
        };
        out.number(static_cast<std::uint64_t>(std::count_if(placed.begin(), placed.end(), some)));
        for (std::size_t i = 0; i < placed.size(); ++i) {
            if (some(placed[i])) {
                out.number(i);
                for (const Traffic& traffic : placed[i]) {
                    out.number(traffic.requests);
                    out.number(traffic.bytes);
                }
            }
        }
        return;
    }
    // A page is mostly its site's URL and a path: it is written as the site's id and the rest.
    out.number(pages_->size());
    pages_->forEach([&](std::string_view page, std::uint64_t views) {
        const std::size_t scheme = page.find("://");
        std::uint32_t host = KeyTable::kMissing;
        std::size_t hostEnd = 0;
        const bool secure = page.starts_with("https://");
        if (secure || page.starts_with("http://")) {
            hostEnd = page.find_first_of("/?#", scheme + 3);
            hostEnd = hostEnd == std::string_view::npos ? page.size() : hostEnd;
            host = hostKeys_.find(page.substr(scheme + 3, hostEnd - scheme - 3));
        }
        if (host == KeyTable::kMissing) {
            out.number(0);
            out.text(page);
        } else {
            out.number(1 + 2 * std::uint64_t{host} + (secure ? 1 : 0));
            out.text(page.substr(hostEnd));
        }
        out.number(views);
    });
}

bool Tables::absorbEncodedWith(Reader& in, Form form) {
    settle();
    const std::uint64_t requests = in.number();
    const std::uint64_t bytes = in.number();
    const std::int64_t first = in.signedNumber();
    const std::int64_t last = in.signedNumber();
    const std::uint64_t deniedRequests = in.number();
    const std::uint64_t deniedBytes = in.number();
    if (requests + deniedRequests > 0) {
        const bool none = requests_ + denied_.requests == 0;
        if (none || first < first_) {
            first_ = first;
        }
        if (none || last > last_) {
            last_ = last;
        }
    }
    requests_ += requests;
    bytes_ += bytes;
    denied_.requests += deniedRequests;
    denied_.bytes += deniedBytes;
    for (std::uint64_t n = in.count(2); n > 0; --n) {
        const std::string_view host = in.text();
        addCount(deniedHostKeys_, deniedHosts_, host, in.number());
    }
    std::vector<std::uint32_t> userMap(in.count());
    for (std::uint32_t& user : userMap) {
        user = userKeys_.intern(in.text());
    }
    std::vector<std::pair<std::uint32_t, std::uint64_t>> incomingUsers;
    std::vector<std::uint32_t> addressMap(in.count(9));
    for (std::uint32_t& id : addressMap) {
        id = addressId(in.text());
        AddressStats& mine = addresses_[id];
        const std::uint64_t aRequests = in.number();
        const std::uint64_t aBytes = in.number();
        const std::uint64_t aDenied = in.number();
        const std::int64_t aFirst = in.signedNumber();
        const std::int64_t aLast = in.signedNumber();
        if (aRequests + aDenied > 0) {
            const bool none = mine.requests + mine.denied == 0;
            if (none || aFirst < mine.first) {
                mine.first = aFirst;
            }
            if (none || aLast > mine.last) {
                mine.last = aLast;
            }
        }
        mine.requests += aRequests;
        mine.bytes += aBytes;
        mine.denied += aDenied;
        mine.hours |= static_cast<std::uint32_t>(in.number());
        mine.searches += in.number();
        incomingUsers.clear();
        for (std::uint64_t u = in.count(2); u > 0 && in.ok(); --u) {
            const std::uint64_t user = in.below(userMap.size());
            const std::uint64_t count = in.number();
            if (in.ok()) {
                incomingUsers.emplace_back(userMap[user], count);
            }
        }
        mergeUsers(mine.users, incomingUsers);
    }
    std::vector<std::uint32_t> agentMap(in.count(3));
    for (std::uint32_t& id : agentMap) {
        bool isNew = false;
        id = agentKeys_.intern(in.text(), isNew);
        const bool proxy = in.number() != 0;
        if (isNew) {
            AgentStats stats;
            stats.proxy = proxy;
            agents_.push_back(stats);
        }
        agents_[id].requests += in.number();
    }
    // A pair of ids each below its limit, mapped into this; nothing for a bad one.
    // A pair, as its distance from the one before, mapped into this; nothing for a bad one.
    std::uint64_t previous = 0;
    const auto pair = [&](const std::vector<std::uint32_t>& high,
                          const std::vector<std::uint32_t>& low) -> std::uint64_t {
        previous += in.number();
        const std::uint64_t a = previous >> 32;
        const std::uint64_t b = static_cast<std::uint32_t>(previous);
        if (a >= high.size() || b >= low.size()) {
            in.fail();
        }
        return in.ok() ? pairKey(high[a], low[b]) : ~0ull;
    };
    // Pairs are gathered, then placed with their slots loaded ahead.
    std::vector<std::uint64_t> pairs;
    pairs.reserve(in.left() / 4);
    for (std::uint64_t n = in.count(); n > 0 && in.ok(); --n) {
        const std::uint64_t key = pair(agentMap, addressMap);
        if (in.ok()) {
            pairs.push_back(key);
        }
    }
    // A standing read into empty tables keeps its ids, so its pairs stay in order as they are.
    const auto keptInOrder = [&](const std::vector<std::uint32_t>& high) {
        const auto identity = [](const std::vector<std::uint32_t>& map) {
            for (std::uint32_t i = 0; i < map.size(); ++i) {
                if (map[i] != i) {
                    return false;
                }
            }
            return true;
        };
        return form != Form::Full && identity(high) && identity(addressMap) &&
               std::adjacent_find(pairs.begin(), pairs.end(), std::greater_equal<>()) ==
                   pairs.end();
    };
    if (keptInOrder(agentMap) && agentAddresses_.size() == 0 && frozenAgentAddresses_.empty()) {
        frozenAgentAddresses_ = pairs;
    } else {
        agentAddresses_.insertAll(pairs);
    }
    for (std::size_t h = 0; h < 24; ++h) {
        hours_[h].requests += in.number();
        hours_[h].bytes += in.number();
        for (std::size_t d = 0; d < 7; ++d) {
            weekdays_[d][h] += in.number();
        }
    }
    std::vector<std::uint32_t> hostMap(in.count(4));
    for (std::uint32_t& id : hostMap) {
        const std::string_view host = in.text();
        id = hostId(host, hostKeys_.hash(host));
        hosts_[id].requests += in.number();
        hosts_[id].pages += in.number();
        hosts_[id].bytes += in.number();
    }
    pairs.clear();
    previous = 0;
    for (std::uint64_t n = in.count(); n > 0 && in.ok(); --n) {
        const std::uint64_t key = pair(hostMap, addressMap);
        if (in.ok()) {
            pairs.push_back(key);
        }
    }
    if (keptInOrder(hostMap) && hostAddresses_.size() == 0 && frozenHostAddresses_.empty()) {
        frozenHostAddresses_ = std::move(pairs);
        pairs.clear();
    } else {
        hostAddresses_.insertAll(pairs);
    }
    std::vector<std::uint32_t> destinationMap(in.count());
    for (std::uint32_t& id : destinationMap) {
        id = destinationKeys_.intern(in.text());
    }
    std::vector<std::uint32_t> suffixMap(in.count());
    for (std::uint32_t& id : suffixMap) {
        id = suffixKeys_.intern(in.text());
    }
    std::vector<std::uint32_t> targetMap(in.count(2));
    for (std::uint32_t& id : targetMap) {
        const std::uint64_t destination = in.below(destinationMap.size());
        const std::uint64_t suffix = in.below(suffixMap.size());
        if (!in.ok()) {
            return false;
        }
        const std::uint64_t key = pairKey(destinationMap[destination], suffixMap[suffix]);
        id = targetKeys_.intern(std::string_view(reinterpret_cast<const char*>(&key), sizeof key));
    }
    // Placed as they are read, each target's place decided once.
    const bool placing = form == Form::MergedPlaced && options_.kinds[5];
    std::vector<std::uint8_t> placeOf;
    if (placing) {
        placeOf.resize(targetKeys_.size());
        for (const std::uint32_t id : targetMap) {
            placeOf[id] = targetPlace(id);
        }
        placed_.resize(addresses_.size());
    }
    std::vector<NumberTraffic::Entry> traffic;
    previous = 0;
    for (std::uint64_t n = in.count(3); n > 0 && in.ok(); --n) {
        const std::uint64_t key = pair(targetMap, addressMap);
        const std::uint64_t targetRequests = in.number();
        const std::uint64_t targetBytes = in.number();
        if (!in.ok()) {
            break;
        }
        if (placing) {
            Traffic& placed = placed_[static_cast<std::uint32_t>(key)][placeOf[key >> 32]];
            placed.requests += targetRequests;
            placed.bytes += targetBytes;
        } else if (form != Form::MergedPlaced) {
            traffic.push_back(NumberTraffic::Entry{key, targetRequests, targetBytes});
        }
    }
    addTargets(traffic);
    for (std::uint64_t& count : engineSearches_) {
        count += in.number();
    }
    for (std::uint64_t n = in.count(2); n > 0; --n) {
        const std::string_view phrase = in.text();
        addCount(phraseKeys_, phraseSearches_, phrase, in.number());
    }
    // The pages, rebuilt from their sites, counted in one batch.
    std::string pool;
    std::vector<std::pair<std::size_t, std::uint64_t>> ends;  // in pool, with the views
    const std::uint64_t pages = in.count(3);
    ends.reserve(pages);
    pool.reserve(in.left() + pages * 32);
    for (std::uint64_t n = pages; n > 0 && in.ok(); --n) {
        const std::uint64_t code = in.number();
        if (code == 0) {
            pool += in.text();
        } else {
            if (code > hostMap.size() * 2) {
                return false;
            }
            const std::uint64_t host = code - 1;
            pool += (host & 1) != 0 ? "https://" : "http://";
            pool += hostKeys_.key(hostMap[host / 2]);
            pool += in.text();
        }
        ends.emplace_back(pool.size(), in.number());
    }
    std::vector<SharedPages::Pending> pending;
    pending.reserve(ends.size());
    std::size_t start = 0;
    for (const auto& [end, views] : ends) {
        const std::string_view page(pool.data() + start, end - start);
        pending.push_back(SharedPages::Pending{pages_->hash(page), page, views});
        start = end;
    }
    std::vector<SharedPages::Pending> scratch;
    pages_->count(pending, scratch);
    if (form == Form::Standing) {
        placed_.resize(addresses_.size());
        for (std::uint64_t n = in.count(9); n > 0 && in.ok(); --n) {
            const std::uint64_t address = in.below(addressMap.size());
            std::array<Traffic, kPlaceCount> row{};
            for (Traffic& traffic : row) {
                traffic.requests = in.number();
                traffic.bytes = in.number();
            }
            if (!in.ok()) {
                break;
            }
            addPlaces(placed_[addressMap[address]], row);
        }
    }
    return in.ok();
}

}  // namespace kestrand::reports
