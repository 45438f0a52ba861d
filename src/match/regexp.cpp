#include "match/regexp.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace kavuro {

namespace {

// Limits on each start position, which PCRE2 counts afresh at every one. For lazy groups
// such as the playlist pattern's, the match-limit count of one start is about the number
// of characters those groups walk from it: a record's three lines, some hundreds for a
// real song, so 100,000 songs are no more at risk than one. A million lets lines of up to
// about a million characters match, and gives up on a start on a longer line within
// milliseconds (the interpreter's slowest case, some 35 ms); the search then goes on
// after that line. What bounds a whole search is its time limit (see ForEachMatch).
constexpr std::uint32_t kMatchLimit = 1'000'000;
// Nested backtracking points (interpreter only); the playlist pattern needs under ten.
constexpr std::uint32_t kDepthLimit = 100'000;
// Memory for those backtracking points, in KiB (interpreter only).
constexpr PCRE2_SIZE kHeapLimitKiB = 64 * 1024;
// The JIT's backtracking stack, grown on demand up to the maximum.
constexpr PCRE2_SIZE kJitStackStart = 32 * 1024;
constexpr PCRE2_SIZE kJitStackMax = 4 * 1024 * 1024;

struct CodeFree {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct CompileContextFree {
    void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};
struct MatchContextFree {
    void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct MatchDataFree {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct JitStackFree {
    void operator()(pcre2_jit_stack* stack) const { pcre2_jit_stack_free(stack); }
};

template <typename T>
T* OrThrow(T* allocated) {
    if (allocated == nullptr) {
        throw std::bad_alloc();
    }
    return allocated;
}

PCRE2_SPTR Units(std::u16string_view text) {
    static_assert(sizeof(char16_t) == sizeof(PCRE2_UCHAR));
    return reinterpret_cast<PCRE2_SPTR>(text.data());
}

std::int32_t ToInt32(std::size_t value) {
    return static_cast<std::int32_t>(
        std::min<std::size_t>(value, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

struct CompiledPattern {
    std::unique_ptr<pcre2_code, CodeFree> code;
    std::size_t groupCount = 0;
    bool jit = false;
};

struct MatchResults {
    std::u16string subject;
    std::size_t groupCount = 0;
    bool complete = true;
    // Per match, groupCount + 1 (start, end) pairs, the whole match first, as PCRE2 gave
    // them: PCRE2_UNSET for a group that took no part.
    std::vector<PCRE2_SIZE> offsets;

    std::size_t PairsPerMatch() const { return groupCount + 1; }
    std::int32_t Count() const { return ToInt32(offsets.size() / (2 * PairsPerMatch())); }

    std::optional<Capture> Group(std::int32_t matchIndex, std::int32_t group) const {
        if (matchIndex < 0 || matchIndex >= Count() || group < 0 ||
            static_cast<std::size_t>(group) > groupCount) {
            return std::nullopt;
        }
        const PCRE2_SIZE* const pair =
            &offsets[2 * (static_cast<std::size_t>(matchIndex) * PairsPerMatch() +
                          static_cast<std::size_t>(group))];
        if (pair[0] == PCRE2_UNSET) {
            return std::nullopt;
        }
        return Capture{std::u16string_view(subject).substr(pair[0], pair[1] - pair[0]),
                       ToInt32(pair[0])};
    }
};

namespace {

// Without the JIT, every start position the engine tries begins with a callout, which
// ends the search when time is up: the interpreter walks a hostile line again from every
// start. The JIT needs none (it gets past such lines in about a millisecond per MiB, a
// callout would take that skill away), so its searches are checked between calls.
// Start-of-pattern items such as (*LF) must stay first, so the callout goes after them.
std::u16string WithStartCallout(std::u16string_view pattern) {
    std::size_t at = 0;
    while (pattern.substr(at).starts_with(u"(*")) {
        const std::size_t close = pattern.find(u')', at + 2);
        const bool isStartItem =
            close != std::u16string_view::npos && close > at + 2 &&
            std::all_of(pattern.begin() + static_cast<std::ptrdiff_t>(at + 2),
                        pattern.begin() + static_cast<std::ptrdiff_t>(close), [](char16_t c) {
                            return (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                                   c == u'_' || c == u'=';
                        });
        if (!isStartItem) {
            break;
        }
        at = close + 1;
    }
    std::u16string withCallout(pattern.substr(0, at));
    withCallout += u"(?C)";
    withCallout += pattern.substr(at);
    return withCallout;
}

std::shared_ptr<const CompiledPattern> Compile(std::u16string_view pattern, bool ignoreCase,
                                               bool multiline, bool jit) {
    const std::unique_ptr<pcre2_compile_context, CompileContextFree> context(
        OrThrow(pcre2_compile_context_create(nullptr)));
    // Only a line feed ends a line, so "." takes every other character, carriage return
    // included. Subjects are code units, never checked or decoded as UTF-16.
    pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
    const std::uint32_t options = PCRE2_NEVER_UTF | PCRE2_USE_OFFSET_LIMIT |
                                  (ignoreCase ? PCRE2_CASELESS : 0) |
                                  (multiline ? PCRE2_MULTILINE : 0);
    const auto compile = [&](std::u16string_view text) {
        int error = 0;
        PCRE2_SIZE errorOffset = 0;
        return std::unique_ptr<pcre2_code, CodeFree>(
            pcre2_compile(Units(text), text.size(), options, &error, &errorOffset, context.get()));
    };
    auto compiled = std::make_shared<CompiledPattern>();
    compiled->code = compile(pattern);
    if (!compiled->code) {
        return nullptr;
    }
    // Without JIT (no support, or no executable memory) the interpreter does the work.
    compiled->jit = jit && pcre2_jit_compile(compiled->code.get(), PCRE2_JIT_COMPLETE) == 0;
    if (!compiled->jit) {
        compiled->code = compile(WithStartCallout(pattern));
        if (!compiled->code) {
            return nullptr;
        }
    }
    std::uint32_t captures = 0;
    pcre2_pattern_info(compiled->code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
    compiled->groupCount = captures;
    return compiled;
}

// The time limit is checked at every start the engine tries, hundreds of thousands in a
// large playlist, so it reads a clock that costs a few nanoseconds and ticks every few
// milliseconds, which is plenty for a limit of seconds.
std::chrono::nanoseconds CoarseNow() {
#ifdef CLOCK_MONOTONIC_COARSE
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
#else
    return std::chrono::steady_clock::now().time_since_epoch();
#endif
}

// The interpreter's start callout: ends the search once time is up.
int OnStartPosition(pcre2_callout_block*, void* deadline) {
    return CoarseNow() < *static_cast<const std::chrono::nanoseconds*>(deadline)
               ? 0
               : PCRE2_ERROR_CALLOUT;
}

bool GaveUp(int result) {
    return result == PCRE2_ERROR_MATCHLIMIT || result == PCRE2_ERROR_DEPTHLIMIT ||
           result == PCRE2_ERROR_HEAPLIMIT || result == PCRE2_ERROR_JIT_STACKLIMIT ||
           result == PCRE2_ERROR_NOMEMORY;
}

// Calls onMatch with the offset vector of each match, left to right. A search starts
// where the last match ended, one unit further after an empty match. When the engine
// gives up on one start position, the search goes on after the next line feed. Returns
// false when the time limit ended the search early.
//
// One engine call tries at most kStartsPerCall start positions, and the time limit is
// checked between calls. When a call gives up, its starts are tried again one line per
// call, which finds the line to pass over.
template <typename OnMatch>
bool ForEachMatch(const CompiledPattern& compiled, std::u16string_view subject, bool global,
                  std::chrono::milliseconds timeLimit, OnMatch&& onMatch) {
    constexpr PCRE2_SIZE kStartsPerCall = 64 * 1024;
    const std::chrono::nanoseconds deadline = CoarseNow() + timeLimit;
    const std::unique_ptr<pcre2_match_context, MatchContextFree> context(
        OrThrow(pcre2_match_context_create(nullptr)));
    pcre2_set_match_limit(context.get(), kMatchLimit);
    pcre2_set_depth_limit(context.get(), kDepthLimit);
    pcre2_set_heap_limit(context.get(), kHeapLimitKiB);
    // A const_cast only to fit the C interface: the callout reads the deadline.
    pcre2_set_callout(context.get(), OnStartPosition,
                      const_cast<std::chrono::nanoseconds*>(&deadline));
    // The JIT starts on a small stack of its own; a search that outgrows it is tried
    // again on a large one, made only then, since making it costs as much as matching a
    // small playlist.
    std::unique_ptr<pcre2_jit_stack, JitStackFree> jitStack;
    const std::unique_ptr<pcre2_match_data, MatchDataFree> data(
        OrThrow(pcre2_match_data_create_from_pattern(compiled.code.get(), nullptr)));
    const PCRE2_SIZE* const ovector = pcre2_get_ovector_pointer(data.get());

    PCRE2_SIZE start = 0;
    // While lineByLine, starts up to lineByLineUntil are tried one line per call.
    bool lineByLine = false;
    PCRE2_SIZE lineByLineUntil = 0;
    while (start <= subject.size()) {
        if (CoarseNow() >= deadline) {
            return false;
        }
        if (lineByLine && start > lineByLineUntil) {
            lineByLine = false;
        }
        const PCRE2_SIZE lastStart = lineByLine
                                         ? std::min(subject.find(u'\n', start), subject.size())
                                         : std::min(start + kStartsPerCall - 1, subject.size());
        pcre2_set_offset_limit(context.get(), lastStart);
        const int found = pcre2_match(compiled.code.get(), Units(subject), subject.size(), start, 0,
                                      data.get(), context.get());
        if (found == PCRE2_ERROR_CALLOUT) {
            return false;
        }
        if (found == PCRE2_ERROR_JIT_STACKLIMIT && compiled.jit && !jitStack) {
            // When it cannot be made, the next try ends like one that reaches a limit.
            jitStack.reset(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
            pcre2_jit_stack_assign(context.get(), nullptr, jitStack.get());
            if (jitStack) {
                continue;
            }
        }
        if (GaveUp(found) && !lineByLine) {
            lineByLine = true;
            lineByLineUntil = lastStart;
            continue;
        }
        if (GaveUp(found) || found == PCRE2_ERROR_NOMATCH) {
            // Given up on this line, or nothing starts in these starts: on after them.
            start = lastStart + 1;
            lineByLine = lineByLine && !GaveUp(found);
            continue;
        }
        if (found <= 0) {
            return true;
        }
        onMatch(ovector);
        if (!global) {
            return true;
        }
        start = std::max(ovector[1] > ovector[0] ? ovector[1] : ovector[1] + 1, start + 1);
    }
    return true;
}

// Appends replacement to out with its $ forms expanded for the match at ovector.
void AppendReplacement(std::u16string& out, std::u16string_view replacement,
                       std::u16string_view subject, const PCRE2_SIZE* ovector,
                       std::size_t groupCount) {
    const auto appendGroup = [&](std::size_t group) {
        const PCRE2_SIZE begin = ovector[2 * group];
        const PCRE2_SIZE end = ovector[2 * group + 1];
        if (begin != PCRE2_UNSET && end >= begin) {
            out.append(subject.substr(begin, end - begin));
        }
    };
    const auto digitAt = [&](std::size_t i) -> std::optional<std::size_t> {
        if (i < replacement.size() && replacement[i] >= u'0' && replacement[i] <= u'9') {
            return static_cast<std::size_t>(replacement[i] - u'0');
        }
        return std::nullopt;
    };

    for (std::size_t i = 0; i < replacement.size(); ++i) {
        const char16_t c = replacement[i];
        if (c != u'$' || i + 1 == replacement.size()) {
            out += c;
            continue;
        }
        const char16_t next = replacement[i + 1];
        if (next == u'$') {
            out += u'$';
            ++i;
        } else if (next == u'&') {
            appendGroup(0);
            ++i;
        } else if (next == u'`') {
            out.append(subject.substr(0, ovector[0]));
            ++i;
        } else if (next == u'\'') {
            out.append(subject.substr(std::min<std::size_t>(ovector[1], subject.size())));
            ++i;
        } else if (const auto first = digitAt(i + 1)) {
            const auto second = digitAt(i + 2);
            if (second && *first * 10 + *second >= 1 && *first * 10 + *second <= groupCount) {
                appendGroup(*first * 10 + *second);
                i += 2;
            } else if (*first >= 1 && *first <= groupCount) {
                appendGroup(*first);
                i += 1;
            } else {
                out += c;
            }
        } else {
            out += c;
        }
    }
}

}  // namespace

// --- MatchCollection, Match, SubMatches ---

MatchCollection::MatchCollection(std::shared_ptr<const MatchResults> results)
    : results_(std::move(results)) {}

std::int32_t MatchCollection::Count() const {
    return results_->Count();
}

std::shared_ptr<Match> MatchCollection::Item(std::int32_t index) const {
    if (index < 0 || index >= Count()) {
        return nullptr;
    }
    return std::shared_ptr<Match>(new Match(results_, index));
}

std::int32_t MatchCollection::GroupCount() const {
    return ToInt32(results_->groupCount);
}

std::optional<Capture> MatchCollection::Group(std::int32_t matchIndex, std::int32_t group) const {
    return results_->Group(matchIndex, group);
}

bool MatchCollection::Complete() const {
    return results_->complete;
}

std::u16string MatchCollection::Recycle(std::shared_ptr<MatchCollection>&& collection) {
    const std::shared_ptr<MatchCollection> last = std::move(collection);
    if (!last || last.use_count() != 1 || last->results_.use_count() != 1) {
        return {};
    }
    // The results were made mutable by Execute and no one else can see them any more.
    return std::move(const_cast<MatchResults&>(*last->results_).subject);
}

Match::Match(std::shared_ptr<const MatchResults> results, std::int32_t index)
    : results_(std::move(results)), index_(index) {}

std::u16string Match::Value() const {
    return std::u16string(results_->Group(index_, 0)->text);
}

std::int32_t Match::FirstIndex() const {
    return results_->Group(index_, 0)->firstIndex;
}

std::shared_ptr<SubMatches> Match::SubMatches() const {
    return std::shared_ptr<kavuro::SubMatches>(new kavuro::SubMatches(results_, index_));
}

SubMatches::SubMatches(std::shared_ptr<const MatchResults> results, std::int32_t matchIndex)
    : results_(std::move(results)), matchIndex_(matchIndex) {}

std::int32_t SubMatches::Count() const {
    return ToInt32(results_->groupCount);
}

std::optional<std::u16string> SubMatches::Item(std::int32_t index) const {
    const auto capture =
        index >= 0 && index < Count() ? results_->Group(matchIndex_, index + 1) : std::nullopt;
    return capture ? std::optional<std::u16string>(capture->text) : std::nullopt;
}

std::int32_t SubMatches::FirstIndex(std::int32_t index) const {
    const auto capture =
        index >= 0 && index < Count() ? results_->Group(matchIndex_, index + 1) : std::nullopt;
    return capture ? capture->firstIndex : -1;
}

// --- RegExp ---

RegExp::RegExp() = default;
RegExp::~RegExp() = default;

bool RegExp::IgnoreCase() const {
    const std::lock_guard lock(mutex_);
    return settings_.ignoreCase;
}

void RegExp::SetIgnoreCase(bool ignoreCase) {
    const std::lock_guard lock(mutex_);
    settings_.ignoreCase = ignoreCase;
    compiled_.reset();
}

bool RegExp::Multiline() const {
    const std::lock_guard lock(mutex_);
    return settings_.multiline;
}

void RegExp::SetMultiline(bool multiline) {
    const std::lock_guard lock(mutex_);
    settings_.multiline = multiline;
    compiled_.reset();
}

bool RegExp::Global() const {
    const std::lock_guard lock(mutex_);
    return settings_.global;
}

void RegExp::SetGlobal(bool global) {
    const std::lock_guard lock(mutex_);
    settings_.global = global;
}

std::u16string RegExp::Pattern() const {
    const std::lock_guard lock(mutex_);
    return settings_.pattern;
}

void RegExp::SetPattern(std::u16string pattern) {
    const std::lock_guard lock(mutex_);
    settings_.pattern = std::move(pattern);
    compiled_.reset();
}

std::chrono::milliseconds RegExp::TimeLimit() const {
    const std::lock_guard lock(mutex_);
    return settings_.timeLimit;
}

void RegExp::SetTimeLimit(std::chrono::milliseconds timeLimit) {
    const std::lock_guard lock(mutex_);
    settings_.timeLimit = timeLimit;
}

bool RegExp::Jit() const {
    const std::lock_guard lock(mutex_);
    return settings_.jit;
}

void RegExp::SetJit(bool jit) {
    const std::lock_guard lock(mutex_);
    settings_.jit = jit;
    compiled_.reset();
}

std::pair<RegExp::Settings, std::shared_ptr<const CompiledPattern>> RegExp::Snapshot() const {
    const std::lock_guard lock(mutex_);
    if (!compiled_) {
        compiled_ =
            Compile(settings_.pattern, settings_.ignoreCase, settings_.multiline, settings_.jit);
    }
    return {settings_, *compiled_};
}

std::shared_ptr<MatchCollection> RegExp::Execute(std::u16string subject) const {
    const auto [settings, compiled] = Snapshot();
    if (!compiled) {
        return nullptr;
    }
    auto results = std::make_shared<MatchResults>();
    results->subject = std::move(subject);
    results->groupCount = compiled->groupCount;
    const std::size_t offsetsPerMatch = 2 * results->PairsPerMatch();
    results->complete = ForEachMatch(*compiled, results->subject, settings.global,
                                     settings.timeLimit, [&](const PCRE2_SIZE* ovector) {
                                         results->offsets.insert(results->offsets.end(), ovector,
                                                                 ovector + offsetsPerMatch);
                                     });
    return std::shared_ptr<MatchCollection>(new MatchCollection(std::move(results)));
}

std::optional<std::u16string> RegExp::Replace(std::u16string_view subject,
                                              std::u16string_view replacement) const {
    const auto [settings, compiled] = Snapshot();
    if (!compiled) {
        return std::nullopt;
    }
    const std::size_t groupCount = compiled->groupCount;
    std::u16string out;
    std::size_t copied = 0;
    ForEachMatch(*compiled, subject, settings.global, settings.timeLimit,
                 [&](const PCRE2_SIZE* ovector) {
                     out.append(subject.substr(copied, ovector[0] - copied));
                     AppendReplacement(out, replacement, subject, ovector, groupCount);
                     copied = ovector[1];
                 });
    out.append(subject.substr(copied));
    return out;
}

}  // namespace kavuro
