#include "trailscan/regex/field_pattern.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

#if defined(__linux__)
#include <dlfcn.h>
#endif

#define PCRE2_CODE_UNIT_WIDTH 8
#include <hs/hs.h>
#include <pcre2.h>

namespace trailscan::regex {

namespace {

// Copies the construct that starts at `at` (a backslash) and returns the index after it. Only
// \Q...\E, \cX and escapes with a braced or named argument (\p{..}, \x{..}, \g{..}, \k<..>,
// \N{..}, \o{..}) run past two bytes.
std::size_t copyEscape(std::string_view pattern, std::size_t at, std::string& out) {
    const std::size_t n = pattern.size();
    if (at + 1 >= n) {
        out += pattern.substr(at);
        return n;
    }
    const char c = pattern[at + 1];
    std::size_t end = at + 2;
    if (c == 'Q') {
        const auto close = pattern.find("\\E", at + 2);
        end = close == std::string_view::npos ? n : close + 2;
    } else if (c == 'c') {
        end = std::min(n, at + 3);
    } else if (end < n && (pattern[end] == '{' || pattern[end] == '<' || pattern[end] == '\'')) {
        const char closer = pattern[end] == '{' ? '}' : pattern[end] == '<' ? '>' : '\'';
        const auto close = pattern.find(closer, end + 1);
        if (close != std::string_view::npos) {
            end = close + 1;
        }
    }
    out += pattern.substr(at, end - at);
    return end;
}

// Copies the class that starts at `at` ('[') and returns the index after its ']'.
std::size_t copyClass(std::string_view pattern, std::size_t at, std::string& out) {
    const std::size_t n = pattern.size();
    std::size_t i = at + 1;
    if (i < n && pattern[i] == '^') {
        ++i;
    }
    if (i < n && pattern[i] == ']') {
        ++i;  // a ']' first in the class is a member
    }
    while (i < n && pattern[i] != ']') {
        if (pattern[i] == '\\') {
            if (i + 1 < n && pattern[i + 1] == 'Q') {
                const auto close = pattern.find("\\E", i + 2);
                i = close == std::string_view::npos ? n : close + 2;
            } else {
                i = std::min(n, i + 2);
            }
        } else if (pattern[i] == '[' && i + 1 < n && pattern[i + 1] == ':') {
            const auto close = pattern.find(":]", i + 2);
            i = close == std::string_view::npos ? i + 1 : close + 2;
        } else {
            ++i;
        }
    }
    i = std::min(n, i + 1);
    out += pattern.substr(at, i - at);
    return i;
}

struct ScanContext {
    unsigned long long to = ULLONG_MAX;
};

int onMatch(unsigned int, unsigned long long, unsigned long long to, unsigned int, void* context) {
    auto* scan = static_cast<ScanContext*>(context);
    if (to < scan->to) {
        scan->to = to;
    }
    return 1;  // the first end found is the one wanted; the scan stops
}

}  // namespace

std::string withoutAnchors(std::string_view pattern) {
    std::string out;
    out.reserve(pattern.size());
    const std::size_t n = pattern.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = pattern[i];
        if (c == '^' || c == '$') {
            ++i;
        } else if (c == '\\') {
            const char next = i + 1 < n ? pattern[i + 1] : '\0';
            if (next == 'A' || next == 'z' || next == 'Z' || next == 'G' || next == 'b' ||
                next == 'B') {
                i += 2;
            } else {
                i = copyEscape(pattern, i, out);
            }
        } else if (c == '[') {
            i = copyClass(pattern, i, out);
        } else if (c == '(' && pattern.substr(i, 3) == "(?#") {
            const auto close = pattern.find(')', i);
            const std::size_t end = close == std::string_view::npos ? n : close + 1;
            out += pattern.substr(i, end - i);
            i = end;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

namespace {

bool isAlphanumeric(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Index after the quantifier at `at`, if one stands there (with its lazy or possessive mark).
std::size_t afterQuantifier(std::string_view pattern, std::size_t at) {
    const std::size_t n = pattern.size();
    if (at >= n) {
        return at;
    }
    std::size_t i = at;
    if (pattern[i] == '?' || pattern[i] == '*' || pattern[i] == '+') {
        ++i;
    } else if (pattern[i] == '{') {
        const auto close = pattern.find('}', i);
        if (close == std::string_view::npos) {
            return at;
        }
        i = close + 1;
    } else {
        return at;
    }
    if (i < n && (pattern[i] == '?' || pattern[i] == '+')) {
        ++i;
    }
    return i;
}

}  // namespace

std::string requiredLiteral(std::string_view pattern) {
    const std::size_t n = pattern.size();
    if (pattern.find("\\Q") != std::string_view::npos || pattern.starts_with("(*")) {
        return {};
    }
    std::string best;
    std::string run;
    const auto endRun = [&] {
        if (run.size() > best.size()) {
            best = run;
        }
        run.clear();
    };
    int depth = 0;
    std::string ignored;
    std::size_t i = 0;
    while (i < n) {
        const char c = pattern[i];
        if (c == '[') {
            i = copyClass(pattern, i, ignored);
            if (depth == 0) {
                endRun();
                i = afterQuantifier(pattern, i);
            }
            continue;
        }
        if (c == '(') {
            if (i + 2 < n && pattern[i + 1] == '?' &&
                (isAlphanumeric(pattern[i + 2]) || pattern[i + 2] == '-' ||
                 pattern[i + 2] == '^')) {
                return {};  // options, named groups and the like: not read here
            }
            if (depth == 0) {
                endRun();
            }
            ++depth;
            ++i;
            continue;
        }
        if (c == ')') {
            --depth;
            ++i;
            if (depth == 0) {
                i = afterQuantifier(pattern, i);
            }
            continue;
        }
        if (depth > 0) {
            i = c == '\\' ? copyEscape(pattern, i, ignored) : i + 1;
            continue;
        }
        if (c == '|') {
            return {};
        }
        char literal = 0;
        std::size_t next = i + 1;
        if (c == '\\') {
            if (i + 1 < n && !isAlphanumeric(pattern[i + 1])) {
                literal = pattern[i + 1];
                next = i + 2;
            } else {
                endRun();
                i = afterQuantifier(pattern, copyEscape(pattern, i, ignored));
                continue;
            }
        } else if (std::string_view("^$.?*+{").find(c) != std::string_view::npos) {
            endRun();
            i = afterQuantifier(pattern, i + 1);
            continue;
        } else {
            literal = c;
        }
        const char after = next < n ? pattern[next] : '\0';
        if (after == '?' || after == '*' || after == '{') {
            endRun();  // perhaps absent
        } else {
            run += literal;
            if (after == '+') {
                endRun();  // present, and perhaps more of it
            }
        }
        i = afterQuantifier(pattern, next);
    }
    endRun();
    return best.size() >= 3 ? best : std::string();
}

struct FieldPattern::Compiled {
    pcre2_code* code = nullptr;
    bool jit = false;
    hs_database_t* blocks = nullptr;  // null: every record is a candidate
    ~Compiled() {
        if (blocks != nullptr) {
            hs_free_database(blocks);
        }
        pcre2_code_free(code);
    }
};

namespace {

using BlockScan = hs_error_t (*)(const hs_database_t*, const char*, unsigned int, unsigned int,
                                 hs_scratch_t*, match_event_handler, void*);

// The vectorscan code that scans blocks and the platform its databases are compiled for.
// vectorscan's AVX-512 code, which its own dispatch picks on a processor that has AVX-512,
// misses matches (in 5.4.9: `a.` against a lone "a" among other bytes, `ab|a` near the end of
// the bytes, as the bytes lie in memory). Its AVX2 code finds them all, so where the library
// carries both (one build for many processors), the databases are made for AVX2 and scanned by
// that code. Whatever code is used must then find the matches those faults lose, or blocks are
// not scanned at all and every record is a candidate.
struct BlockEngine {
    BlockScan scan = hs_scan;
    bool ownPlatform = false;  // false: compiled for this processor
    hs_platform_info_t platform{};
    bool usable = true;

    const hs_platform_info_t* target() const { return ownPlatform ? &platform : nullptr; }
};

int stopAtFirst(unsigned int, unsigned long long, unsigned long long, unsigned int, void*) {
    return 1;
}

// Whether `pattern` is found in `bytes` at every one of 64 places in memory.
bool findsEverywhere(const BlockEngine& engine, const char* pattern, const std::string& bytes) {
    hs_database_t* database = nullptr;
    hs_compile_error_t* error = nullptr;
    if (hs_compile(pattern, 0, HS_MODE_BLOCK, engine.target(), &database, &error) != HS_SUCCESS) {
        hs_free_compile_error(error);
        return false;
    }
    hs_scratch_t* scratch = nullptr;
    bool found = hs_alloc_scratch(database, &scratch) == HS_SUCCESS;
    std::string room(bytes.size() + 64, 'x');
    for (std::size_t shift = 0; found && shift < 64; ++shift) {
        room.replace(shift, bytes.size(), bytes);
        found = engine.scan(database, room.data() + shift, static_cast<unsigned>(bytes.size()), 0,
                            scratch, stopAtFirst, nullptr) == HS_SCAN_TERMINATED;
        room.replace(shift, bytes.size(), bytes.size(), 'x');
    }
    hs_free_scratch(scratch);
    hs_free_database(database);
    return found;
}

const BlockEngine& blockEngine() {
    static const BlockEngine chosen = [] {
        BlockEngine engine;
        hs_platform_info_t host{};
        if (hs_populate_platform(&host) == HS_SUCCESS &&
            (host.cpu_features & (HS_CPU_FEATURES_AVX512 | HS_CPU_FEATURES_AVX512VBMI)) != 0 &&
            (host.cpu_features & HS_CPU_FEATURES_AVX2) != 0) {
#if defined(__linux__)
            if (void* avx2 = dlsym(RTLD_DEFAULT, "avx2_hs_scan"); avx2 != nullptr) {
                engine.scan = reinterpret_cast<BlockScan>(avx2);
                engine.platform = host;
                engine.platform.cpu_features = HS_CPU_FEATURES_AVX2;
                engine.ownPlatform = true;
            }
#endif
        }
        std::string lone(1000, 'x');
        lone[500] = 'a';
        std::string last(100, 'x');
        last[90] = 'a';
        engine.usable =
            findsEverywhere(engine, "a.", lone) && findsEverywhere(engine, "ab|a", last);
        return engine;
    }();
    return chosen;
}

// The vectorscan database that finds where a match may end, or null. It is compiled from the
// pattern without its anchors, as it stands or else in its prefilter form (which vectorscan
// loosens where it lacks a construct); a database whose matches may arrive out of order is not
// used, for the first match reported must be the first that ends.
hs_database_t* compileBlocks(std::string_view pattern, std::size_t& maxWidth) {
    const BlockEngine& engine = blockEngine();
    if (!engine.usable || pattern.find('\0') != std::string_view::npos) {
        return nullptr;
    }
    const std::string loose = withoutAnchors(pattern);
    for (const unsigned flags : {HS_FLAG_ALLOWEMPTY, HS_FLAG_ALLOWEMPTY | HS_FLAG_PREFILTER}) {
        hs_expr_info_t* info = nullptr;
        hs_compile_error_t* error = nullptr;
        if (hs_expression_info(loose.c_str(), flags, &info, &error) != HS_SUCCESS) {
            hs_free_compile_error(error);
            continue;
        }
        const bool ordered = info->unordered_matches == 0;
        maxWidth = info->max_width == UINT_MAX ? std::string_view::npos : info->max_width;
        std::free(info);
        if (!ordered) {
            continue;
        }
        hs_database_t* database = nullptr;
        if (hs_compile(loose.c_str(), flags, HS_MODE_BLOCK, engine.target(), &database, &error) ==
            HS_SUCCESS) {
            return database;
        }
        hs_free_compile_error(error);
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<FieldPattern> FieldPattern::compile(std::string_view pattern, std::string& error) {
    int code = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()),
                                         pattern.size(), PCRE2_NEVER_UTF, &code, &offset, nullptr);
    if (compiled == nullptr) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(code, message, sizeof message);
        error = "The regular expression is not valid: " +
                std::string(reinterpret_cast<const char*>(message)) + " at position " +
                std::to_string(offset) + ".";
        return nullptr;
    }
    std::unique_ptr<FieldPattern> result(new FieldPattern);
    result->pattern_ = std::string(pattern);
    result->compiled_ = std::make_unique<Compiled>();
    result->compiled_->code = compiled;
    result->compiled_->jit = pcre2_jit_compile(compiled, PCRE2_JIT_COMPLETE) == 0;
    result->compiled_->blocks = compileBlocks(pattern, result->maxMatchBytes_);
    if (result->compiled_->blocks == nullptr) {
        result->maxMatchBytes_ = std::string_view::npos;
    }
    result->literal_ = requiredLiteral(pattern);
    error.clear();
    return result;
}

FieldPattern::~FieldPattern() = default;

bool FieldPattern::scansBlocks() const { return compiled_->blocks != nullptr; }

struct FieldPattern::Matcher::State {
    pcre2_match_context* context = nullptr;
    pcre2_jit_stack* stack = nullptr;
    pcre2_match_data* data = nullptr;
    hs_scratch_t* scratch = nullptr;
    ~State() {
        if (scratch != nullptr) {
            hs_free_scratch(scratch);
        }
        pcre2_match_data_free(data);
        pcre2_jit_stack_free(stack);
        pcre2_match_context_free(context);
    }
};

FieldPattern::Matcher::Matcher(const FieldPattern& pattern)
    : pattern_(pattern), state_(std::make_unique<State>()) {
    const Compiled& compiled = *pattern.compiled_;
    state_->context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(state_->context, kMatchLimit);
    pcre2_set_depth_limit(state_->context, kMatchLimit);
    pcre2_set_heap_limit(state_->context, 64 * 1024);  // KiB: the interpreter's backtracking
    if (compiled.jit) {
        state_->stack = pcre2_jit_stack_create(32 * 1024, 16 * 1024 * 1024, nullptr);
        pcre2_jit_stack_assign(state_->context, nullptr, state_->stack);
    }
    state_->data = pcre2_match_data_create_from_pattern(compiled.code, nullptr);
    if (compiled.blocks != nullptr && hs_alloc_scratch(compiled.blocks, &state_->scratch) != 0) {
        state_->scratch = nullptr;
    }
}

FieldPattern::Matcher::~Matcher() = default;

Verdict FieldPattern::Matcher::test(std::string_view field) {
    static const char kEmpty[1] = {};
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(field.empty() ? kEmpty : field.data());
    const int found = pcre2_match(pattern_.compiled_->code, subject, field.size(), 0, 0,
                                  state_->data, state_->context);
    if (found >= 0) {
        return Verdict::Yes;
    }
    return found == PCRE2_ERROR_NOMATCH ? Verdict::No : Verdict::Limit;
}

std::size_t FieldPattern::Matcher::nextCandidate(std::string_view bytes, std::size_t from,
                                                 std::size_t end) {
    end = std::min(end, bytes.size());
    if (from >= end) {
        return std::string_view::npos;
    }
    const std::size_t length = end - from;
    if (state_->scratch == nullptr || length > UINT_MAX) {
        return from;
    }
    ScanContext scan;
    blockEngine().scan(pattern_.compiled_->blocks, bytes.data() + from,
                       static_cast<unsigned>(length), 0, state_->scratch, onMatch, &scan);
    if (scan.to == ULLONG_MAX) {
        return std::string_view::npos;
    }
    return from + (scan.to > 0 ? static_cast<std::size_t>(scan.to) - 1 : 0);
}

}  // namespace trailscan::regex
