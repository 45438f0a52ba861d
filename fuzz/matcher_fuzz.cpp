// The matcher with the playlist pattern over any answer: every match and every capture
// is a piece of the subject at the position it reports, captures lie inside their match,
// matches come left to right without overlapping, and a copy answers alike.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "match/regex_matcher.h"
#include "playlist/playlist_pattern.h"
#include "text/text.h"

namespace {

using namespace kavuro;

constexpr std::int32_t kGroups = 3;

Text FoldAscii(Text text) {
    for (char& c : text) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return text;
}

// The text at position is the subject's own bytes there; returns where it ends.
std::size_t CheckPiece(const Text& subject, const Text& piece, std::int32_t position) {
    FUZZ_CHECK(position >= 0);
    const auto begin = static_cast<std::size_t>(position);
    FUZZ_CHECK(begin + piece.size() <= subject.size());
    FUZZ_CHECK(subject.compare(begin, piece.size(), piece) == 0);
    return begin + piece.size();
}

void CheckMatches(const RegexMatcher& matcher, const Text& subject) {
    const std::int32_t count = matcher.MatchCount();
    FUZZ_CHECK(count >= 0);
    FUZZ_CHECK(matcher.SubmatchCount() == (count > 0 ? kGroups : 0));
    std::size_t previousEnd = 0;
    for (std::int32_t match = 1; match <= count; ++match) {
        std::int32_t position = -1;
        const Text whole = matcher.MatchText(match, &position);
        const std::size_t end = CheckPiece(subject, whole, position);
        FUZZ_CHECK(static_cast<std::size_t>(position) >= previousEnd);
        // The matcher ignores case by default.
        const Text folded = FoldAscii(whole);
        FUZZ_CHECK(folded.starts_with("[cdata[") && folded.ends_with("</xsong_"));
        std::size_t groupEnd = static_cast<std::size_t>(position);
        for (std::int32_t group = 1; group <= kGroups; ++group) {
            std::int32_t at = -1;
            const Text captured = matcher.SubmatchText(match, group, &at);
            // Each group is a lazy run of one line, and the groups follow one another.
            FUZZ_CHECK(at >= static_cast<std::int32_t>(groupEnd));
            groupEnd = CheckPiece(subject, captured, at);
            FUZZ_CHECK(groupEnd <= end);
            FUZZ_CHECK(captured.find('\n') == Text::npos);
        }
        std::int32_t missing = 0;
        FUZZ_CHECK(matcher.SubmatchText(match, kGroups + 1, &missing).empty() && missing == -2);
        FUZZ_CHECK(matcher.SubmatchText(match, 0, &missing).empty() && missing == -2);
        previousEnd = end;
    }
    std::int32_t missing = 0;
    FUZZ_CHECK(matcher.MatchText(count + 1, &missing).empty() && missing == -2);
    FUZZ_CHECK(matcher.MatchText(0, &missing).empty() && missing == -2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Text subject(reinterpret_cast<const char*>(data), size);
    RegexMatcher matcher;
    FUZZ_CHECK(matcher.Run(Text(kPlaylistPattern), subject));
    FUZZ_CHECK(matcher.PatternText() == kPlaylistPattern);
    CheckMatches(matcher, subject);

    const std::unique_ptr<RegexMatcher> copy = matcher.Copy();
    FUZZ_CHECK(copy->MatchCount() == matcher.MatchCount());
    CheckMatches(*copy, subject);
    matcher.Destroy();
    FUZZ_CHECK(matcher.MatchCount() == 0 && copy->MatchCount() >= 0);
    CheckMatches(*copy, subject);

    // Replacing every match by itself gives the subject back, for a subject that survives
    // the round trip through Unicode; deleting them leaves what lay between.
    const std::int32_t count = copy->MatchCount();
    std::size_t matched = 0;
    for (std::int32_t match = 1; match <= count; ++match) {
        matched += copy->MatchText(match).size();
    }
    const Text kept = copy->ReplaceText("");
    FUZZ_CHECK(kept.size() <= subject.size());
    if (Utf16ToGbk(GbkToUtf16(subject)) == subject) {
        FUZZ_CHECK(copy->ReplaceText("$&") == subject);
        FUZZ_CHECK(kept.size() == subject.size() - matched);
    }
    return 0;
}
