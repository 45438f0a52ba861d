#include "match/regex_matcher.h"

#include <optional>
#include <string>
#include <utility>

#include "match/regexp.h"
#include "text/gbk.h"

namespace kavuro {

namespace {

constexpr std::int32_t kNotFound = -2;

// Group group (0 for the whole match) of match matchNumber (from 1); absent when there is
// none. Read straight from the collection: nothing is allocated but the answer.
std::optional<Capture> Numbered(const std::shared_ptr<MatchCollection>& matches,
                                std::int32_t matchNumber, std::int32_t group) {
    if (!matches || matchNumber < 1) {
        return std::nullopt;
    }
    return matches->Group(matchNumber - 1, group);
}

// The capture as the subject's own bytes, so that nothing is lost to a round trip
// through Unicode; when position is given, it receives the capture's byte offset in the
// subject (a search for the text could meet an equal text before it), or -2 when there
// is no capture.
Text Answer(const std::optional<Capture>& capture, const Text& subject, const GbkOffsets& offsets,
            std::int32_t* position) {
    if (!capture) {
        if (position != nullptr) {
            *position = kNotFound;
        }
        return Text();
    }
    const auto first = static_cast<std::size_t>(capture->firstIndex);
    const std::size_t begin = offsets.ByteOffset(subject, first);
    const std::size_t end = offsets.ByteOffset(subject, first + capture->text.size(), first, begin);
    if (position != nullptr) {
        *position = static_cast<std::int32_t>(begin);
    }
    return subject.substr(begin, end - begin);
}

}  // namespace

RegexMatcher::RegexMatcher() : timeLimit_(RegExp::kDefaultTimeLimit) {}
RegexMatcher::~RegexMatcher() = default;

void RegexMatcher::Destroy() {
    expression_.reset();
    Text().swap(subject_);
    subjectOffsets_ = GbkOffsets();
    matches_.reset();
}

std::unique_ptr<RegexMatcher> RegexMatcher::Copy() const {
    auto copy = std::make_unique<RegexMatcher>();
    copy->expression_ = expression_;
    copy->matches_ = matches_;
    copy->subject_ = subject_;
    copy->subjectOffsets_ = subjectOffsets_;
    copy->timeLimit_ = timeLimit_;
    copy->jit_ = jit_;
    return copy;
}

bool RegexMatcher::Run(const Text& pattern, const Text& subject, bool caseSensitive, bool multiline,
                       bool global) {
    subject_ = subject;  // into the storage of the last subject when it is large enough
    return RunOverSubject(pattern, !caseSensitive, multiline, global);
}

bool RegexMatcher::Run(const Text& pattern, Text&& subject, bool caseSensitive, bool multiline,
                       bool global) {
    subject_ = std::move(subject);
    return RunOverSubject(pattern, !caseSensitive, multiline, global);
}

bool RegexMatcher::RunOverSubject(const Text& pattern, bool ignoreCase, bool multiline,
                                  bool global) {
    // The engine's copy of the subject goes into the last run's storage when nothing holds
    // that any more: a large answer matched again costs no fresh memory.
    std::u16string units = MatchCollection::Recycle(std::move(matches_));
    GbkToUtf16WithOffsets(subject_, units, subjectOffsets_);

    // An expression set up as this run wants is used again, compiled pattern and all;
    // it is never changed, as copies of this matcher may share it.
    std::u16string pattern16 = GbkToUtf16(pattern);
    const bool reusable = expression_ && expression_->IgnoreCase() == ignoreCase &&
                          expression_->Multiline() == multiline &&
                          expression_->Global() == global &&
                          expression_->TimeLimit() == timeLimit_ && expression_->Jit() == jit_ &&
                          expression_->Pattern() == pattern16;
    if (!reusable) {
        auto expression = std::make_shared<RegExp>();
        expression->SetIgnoreCase(ignoreCase);
        expression->SetMultiline(multiline);
        expression->SetGlobal(global);
        expression->SetTimeLimit(timeLimit_);
        expression->SetJit(jit_);
        expression->SetPattern(std::move(pattern16));
        expression_ = std::move(expression);
    }
    matches_ = expression_->Execute(std::move(units));
    return matches_ != nullptr;
}

bool RegexMatcher::Complete() const {
    return !matches_ || matches_->Complete();
}

void RegexMatcher::SetTimeLimit(std::chrono::milliseconds timeLimit) {
    timeLimit_ = timeLimit;
}

void RegexMatcher::SetJit(bool jit) {
    jit_ = jit;
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
    return Answer(Numbered(matches_, matchNumber, 0), subject_, subjectOffsets_, position);
}

Text RegexMatcher::SubmatchText(std::int32_t matchNumber, std::int32_t groupNumber,
                                std::int32_t* position) const {
    const std::optional<Capture> capture =
        groupNumber >= 1 ? Numbered(matches_, matchNumber, groupNumber) : std::nullopt;
    return Answer(capture, subject_, subjectOffsets_, position);
}

std::int32_t RegexMatcher::SubmatchCount() const {
    return matches_ && matches_->Count() > 0 ? matches_->GroupCount() : 0;
}

}  // namespace kavuro
