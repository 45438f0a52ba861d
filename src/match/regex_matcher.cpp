#include "match/regex_matcher.h"

#include <optional>
#include <string>
#include <utility>

#include "match/regexp.h"
#include "text/gbk.h"

namespace kavuro {

namespace {

constexpr std::int32_t kNotFound = -2;

// Match matchNumber (from 1) of matches; null when there is none.
std::shared_ptr<Match> MatchNumbered(const std::shared_ptr<MatchCollection>& matches,
                                     std::int32_t matchNumber) {
    if (!matches || matchNumber < 1) {
        return nullptr;
    }
    return matches->Item(matchNumber - 1);
}

// The byte offset in subject of UTF-16 unit firstIndex of its conversion. Counted from the
// characters themselves, not searched for: a search for the matched text could meet an
// equal text before it.
std::int32_t BytePosition(const Text& subject, std::int32_t firstIndex) {
    return static_cast<std::int32_t>(GbkByteOffset(subject, static_cast<std::size_t>(firstIndex)));
}

}  // namespace

RegexMatcher::RegexMatcher() = default;
RegexMatcher::~RegexMatcher() = default;

void RegexMatcher::Destroy() {
    expression_.reset();
    Text().swap(subject_);
    matches_.reset();
}

std::unique_ptr<RegexMatcher> RegexMatcher::Copy() const {
    auto copy = std::make_unique<RegexMatcher>();
    copy->expression_ = expression_;
    copy->matches_ = matches_;
    copy->subject_ = subject_;
    return copy;
}

bool RegexMatcher::Run(const Text& pattern, const Text& subject, bool caseSensitive, bool multiline,
                       bool global) {
    auto expression = std::make_shared<RegExp>();
    expression->SetIgnoreCase(!caseSensitive);
    expression->SetMultiline(multiline);
    expression->SetGlobal(global);
    expression->SetPattern(GbkToUtf16(pattern));
    auto matches = expression->Execute(GbkToUtf16(subject));

    expression_ = std::move(expression);
    matches_ = std::move(matches);
    subject_ = subject;
    return matches_ != nullptr;
}

Text RegexMatcher::PatternText() const {
    return expression_ ? Utf16ToGbk(expression_->Pattern()) : Text();
}

Text RegexMatcher::ReplaceText(const Text& replacement) const {
    if (!expression_) {
        return Text();
    }
    const std::optional<std::u16string> replaced =
        expression_->Replace(GbkToUtf16(subject_), GbkToUtf16(replacement));
    return replaced ? Utf16ToGbk(*replaced) : Text();
}

std::int32_t RegexMatcher::MatchCount() const {
    return matches_ ? matches_->Count() : 0;
}

Text RegexMatcher::MatchText(std::int32_t matchNumber, std::int32_t* position) const {
    const std::shared_ptr<Match> match = MatchNumbered(matches_, matchNumber);
    if (position != nullptr) {
        *position = match ? BytePosition(subject_, match->FirstIndex()) : kNotFound;
    }
    return match ? Utf16ToGbk(match->Value()) : Text();
}

Text RegexMatcher::SubmatchText(std::int32_t matchNumber, std::int32_t groupNumber,
                                std::int32_t* position) const {
    const std::shared_ptr<Match> match = MatchNumbered(matches_, matchNumber);
    const std::shared_ptr<SubMatches> groups = match ? match->SubMatches() : nullptr;
    const std::int32_t groupIndex = groupNumber >= 1 ? groupNumber - 1 : -1;
    const std::optional<std::u16string> value = groups ? groups->Item(groupIndex) : std::nullopt;
    if (position != nullptr) {
        *position = value ? BytePosition(subject_, groups->FirstIndex(groupIndex)) : kNotFound;
    }
    return value ? Utf16ToGbk(*value) : Text();
}

std::int32_t RegexMatcher::SubmatchCount() const {
    const std::shared_ptr<Match> first = MatchNumbered(matches_, 1);
    return first ? first->SubMatches()->Count() : 0;
}

}  // namespace kavuro
