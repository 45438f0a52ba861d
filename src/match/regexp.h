// The regular-expression engine's object model: a RegExp that is configured through its
// properties and run with Execute or Replace, and the MatchCollection, Match and
// SubMatches that Execute hands back. It works on UTF-16 code units; positions count
// code units. Handles are shared pointers, and every object may be used and released on
// any thread. No operation throws for a bad pattern or subject: failure is a null handle
// or an absent value.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace kavuro {

class Match;
class SubMatches;
struct CompiledPattern;
struct MatchResults;

// A piece of the subject that a match or a group took. The text points into the subject
// that the match collection keeps, and lives as long as the collection or any handle
// taken from it.
struct Capture {
    std::u16string_view text;
    std::int32_t firstIndex;  // from 0
};

// What Execute found. It keeps the subject once; its matches and their submatch
// collections are light handles onto it. Only Execute makes one, so that every handle
// taken from it points at results that exist.
class MatchCollection {
public:
    std::int32_t Count() const;
    // Match index (from 0); null when out of range.
    std::shared_ptr<Match> Item(std::int32_t index) const;

    // Number of capturing groups of the pattern, whatever a match took part in.
    std::int32_t GroupCount() const;
    // What group took in match matchIndex (from 0): group 0 is the whole match, groups
    // count from 1. Absent when either is out of range or the group took no part.
    std::optional<Capture> Group(std::int32_t matchIndex, std::int32_t group) const;
    // False when the search ran out of time before the end of the subject: there may be
    // matches after the last one.
    bool Complete() const;

    // The storage of collection's subject, for a next Execute to reuse, when nothing else
    // holds the collection or a handle taken from it; an empty text otherwise. collection
    // is null afterwards.
    static std::u16string Recycle(std::shared_ptr<MatchCollection>&& collection);

private:
    friend class RegExp;
    explicit MatchCollection(std::shared_ptr<const MatchResults> results);

    std::shared_ptr<const MatchResults> results_;
};

// One match of a collection; made only by MatchCollection::Item, for an index it holds.
class Match {
public:
    std::u16string Value() const;
    // Start of the match in the subject, from 0.
    std::int32_t FirstIndex() const;
    std::shared_ptr<kavuro::SubMatches> SubMatches() const;

private:
    friend class MatchCollection;
    Match(std::shared_ptr<const MatchResults> results, std::int32_t index);

    std::shared_ptr<const MatchResults> results_;
    std::int32_t index_;
};

// The groups of one match; made only by Match::SubMatches.
class SubMatches {
public:
    // Number of capturing groups.
    std::int32_t Count() const;
    // What group index + 1 captured; absent when that group took no part or index is out
    // of range.
    std::optional<std::u16string> Item(std::int32_t index) const;
    // Start of that capture in the subject, from 0; -1 when Item is absent.
    std::int32_t FirstIndex(std::int32_t index) const;

private:
    friend class Match;
    SubMatches(std::shared_ptr<const MatchResults> results, std::int32_t matchIndex);

    std::shared_ptr<const MatchResults> results_;
    std::int32_t matchIndex_;
};

class RegExp {
public:
    // A whole 32 MiB playlist takes about a third of a second without the JIT (a tenth
    // with it); lines built against the interpreter would hold it for hours.
    static constexpr std::chrono::milliseconds kDefaultTimeLimit{3000};

    RegExp();
    ~RegExp();
    RegExp(const RegExp&) = delete;
    RegExp& operator=(const RegExp&) = delete;

    bool IgnoreCase() const;
    void SetIgnoreCase(bool ignoreCase);
    // "^" and "$" also match at line feeds.
    bool Multiline() const;
    void SetMultiline(bool multiline);
    // Execute and Replace go on after the first match.
    bool Global() const;
    void SetGlobal(bool global);
    std::u16string Pattern() const;
    void SetPattern(std::u16string pattern);
    // How long one Execute or Replace may search in all; past it, the search ends with
    // what it has found and the collection is not Complete.
    std::chrono::milliseconds TimeLimit() const;
    void SetTimeLimit(std::chrono::milliseconds timeLimit);
    // Whether the pattern is compiled to machine code when the host allows it. Off, the
    // engine's interpreter runs, as on a host that forbids executable memory.
    bool Jit() const;
    void SetJit(bool jit);

    // Every match (or the first, without Global), left to right, never overlapping; an
    // empty match moves the search on by one unit. Null when the pattern does not compile.
    // When the engine gives up on one start (its match, depth or memory limit), the
    // search goes on after the next line feed, so one hostile line costs only its own
    // matches.
    std::shared_ptr<MatchCollection> Execute(std::u16string subject) const;
    // The subject with each match that Execute would find replaced. In replacement, $&
    // is the match, $1 to $99 a group, $` the text before the match, $' the text after it
    // and $$ a dollar sign; any other $ stays as it is. Absent when the pattern does not
    // compile.
    std::optional<std::u16string> Replace(std::u16string_view subject,
                                          std::u16string_view replacement) const;

private:
    struct Settings {
        bool ignoreCase = false;
        bool multiline = false;
        bool global = false;
        bool jit = true;
        std::chrono::milliseconds timeLimit = kDefaultTimeLimit;
        std::u16string pattern;
    };

    // The settings and their compiled pattern (null when it does not compile), taken
    // together so that a setter on another thread cannot split them.
    std::pair<Settings, std::shared_ptr<const CompiledPattern>> Snapshot() const;

    mutable std::mutex mutex_;
    Settings settings_;
    // Compiled on first use after a change of pattern or flags; absent until then.
    mutable std::optional<std::shared_ptr<const CompiledPattern>> compiled_;
};

}  // namespace kavuro
