// RegexMatcher: the one regular-expression matcher of the program. It runs a pattern over
// a GBK subject, keeps the matches of its last run, and answers questions about them as
// GBK texts. The engine is the object model in match/regexp.h, over PCRE2.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "text/gbk.h"
#include "text/text.h"

namespace kavuro {

class RegExp;
class MatchCollection;

class RegexMatcher final {
public:
    RegexMatcher();
    ~RegexMatcher();
    RegexMatcher(const RegexMatcher&) = delete;
    RegexMatcher& operator=(const RegexMatcher&) = delete;

    // Drops the engine objects and the kept subject; the matcher is then as built.
    void Destroy();
    // A new matcher sharing this one's engine objects, with its own copy of the subject.
    std::unique_ptr<RegexMatcher> Copy() const;

    // Compiles pattern and matches it over subject, keeping every match. True when a match
    // collection exists afterwards (even an empty one); false when the pattern is invalid.
    // A line on which the engine gives up is passed over; the search ends early only at
    // the time limit (see Complete).
    bool Run(const Text& pattern, const Text& subject, bool caseSensitive = false,
             bool multiline = true, bool global = true);
    // The same, taking the subject over instead of copying it.
    bool Run(const Text& pattern, Text&& subject, bool caseSensitive = false, bool multiline = true,
             bool global = true);
    // False when the last run's time limit ended its search before the end of the
    // subject, so later matches may be missing; true before any run.
    bool Complete() const;

    // How long one Run may search; the default bounds a 32 MiB hostile subject.
    void SetTimeLimit(std::chrono::milliseconds timeLimit);
    // Off only in tests, to run the engine as on a host without executable memory.
    void SetJit(bool jit);

    // The pattern of the last run; empty before any.
    Text PatternText() const;
    // The last subject with every match replaced.
    Text ReplaceText(const Text& replacement) const;

    // Matches of the last run; 0 before any run and after a failed one.
    std::int32_t MatchCount() const;
    // Whole match matchNumber (from 1); empty when out of range. When position is given,
    // it receives the match's 0-based byte offset in the subject, or -2 when there is no
    // such match.
    Text MatchText(std::int32_t matchNumber, std::int32_t* position = nullptr) const;
    // Group groupNumber (from 1) of match matchNumber (from 1); empty when out of range or
    // when the group took no part. position as for MatchText, for the group's start; -2
    // also when the group took no part.
    Text SubmatchText(std::int32_t matchNumber, std::int32_t groupNumber,
                      std::int32_t* position = nullptr) const;
    // Number of capturing groups of the first match; 0 when there is none.
    std::int32_t SubmatchCount() const;

private:
    bool RunOverSubject(const Text& pattern, bool ignoreCase, bool multiline, bool global);

    std::shared_ptr<RegExp> expression_;
    std::shared_ptr<MatchCollection> matches_;
    Text subject_;
    GbkOffsets subjectOffsets_;  // where the engine's units begin in subject_
    std::chrono::milliseconds timeLimit_;
    bool jit_ = true;
};

}  // namespace kavuro
