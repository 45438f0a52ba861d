// The regular-expression object model with any pattern, options and subject: a pattern
// that compiles gives matches that are pieces of the subject, left to right and never
// overlapping, with submatches inside them; Replace agrees with Execute. The engine's
// match limits bound the time of every run (libFuzzer's -timeout catches one that is not).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "match/regexp.h"

namespace {

using namespace kavuro;

std::u16string ConsumeUnits(FuzzedDataProvider& provider, std::size_t maxUnits) {
    const std::string bytes = provider.ConsumeRandomLengthString(maxUnits * 2);
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    return units;
}

// Pattern text as the fuzzer's dictionary writes it: most patterns are ASCII, and a byte
// above 0x7F stands for a CJK unit so that the engine also sees units above 0xFF.
std::u16string Widen(const std::string& bytes) {
    std::u16string units;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        units += byte < 0x80 ? char16_t{byte} : static_cast<char16_t>(0x4E00 + byte);
    }
    return units;
}

struct Found {
    std::int32_t first;
    std::u16string value;
};

std::vector<Found> CheckExecute(const MatchCollection& matches, const std::u16string& subject,
                                bool global) {
    const std::int32_t count = matches.Count();
    FUZZ_CHECK(count >= 0 && (global || count <= 1));
    FUZZ_CHECK(matches.Item(-1) == nullptr && matches.Item(count) == nullptr);
    std::vector<Found> found;
    std::size_t previousEnd = 0;
    std::optional<std::int32_t> previousEmptyAt;
    for (std::int32_t index = 0; index < count; ++index) {
        const std::shared_ptr<Match> match = matches.Item(index);
        FUZZ_CHECK(match != nullptr);
        const std::int32_t first = match->FirstIndex();
        const std::u16string value = match->Value();
        FUZZ_CHECK(first >= 0 && static_cast<std::size_t>(first) + value.size() <= subject.size());
        FUZZ_CHECK(subject.compare(first, value.size(), value) == 0);
        FUZZ_CHECK(static_cast<std::size_t>(first) >= previousEnd);
        FUZZ_CHECK(!previousEmptyAt || first > *previousEmptyAt);
        previousEnd = first + value.size();
        previousEmptyAt = value.empty() ? std::optional(first) : std::nullopt;

        const std::shared_ptr<SubMatches> groups = match->SubMatches();
        FUZZ_CHECK(groups->Count() == matches.GroupCount());
        FUZZ_CHECK(!groups->Item(-1) && !groups->Item(groups->Count()));
        FUZZ_CHECK(groups->FirstIndex(-1) == -1 && groups->FirstIndex(groups->Count()) == -1);
        for (std::int32_t group = 0; group < groups->Count(); ++group) {
            const std::optional<std::u16string> item = groups->Item(group);
            const std::int32_t at = groups->FirstIndex(group);
            const std::optional<Capture> capture = matches.Group(index, group + 1);
            FUZZ_CHECK(item.has_value() == capture.has_value());
            if (!item) {
                FUZZ_CHECK(at == -1);
                continue;
            }
            // A group may lie outside its match (a lookbehind, say), never outside the
            // subject.
            FUZZ_CHECK(at == capture->firstIndex && *item == capture->text);
            FUZZ_CHECK(at >= 0 && static_cast<std::size_t>(at) + item->size() <= subject.size());
            FUZZ_CHECK(subject.compare(at, item->size(), *item) == 0);
        }
        found.push_back({first, value});
    }
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    RegExp expression;
    expression.SetIgnoreCase(provider.ConsumeBool());
    expression.SetMultiline(provider.ConsumeBool());
    const bool global = provider.ConsumeBool();
    expression.SetGlobal(global);
    const bool widePattern = provider.ConsumeBool();
    std::u16string pattern =
        widePattern ? ConsumeUnits(provider, 256) : Widen(provider.ConsumeRandomLengthString(256));
    expression.SetPattern(pattern);
    FUZZ_CHECK(expression.Pattern() == pattern);
    const std::u16string replacement = Widen(provider.ConsumeRandomLengthString(32));
    const std::u16string subject = provider.ConsumeBool()
                                       ? Widen(provider.ConsumeRemainingBytesAsString())
                                       : ConsumeUnits(provider, size);

    const std::shared_ptr<MatchCollection> matches = expression.Execute(subject);
    const std::optional<std::u16string> replaced = expression.Replace(subject, replacement);
    FUZZ_CHECK((matches != nullptr) == replaced.has_value());
    if (!matches) {
        return 0;
    }
    const std::vector<Found> found = CheckExecute(*matches, subject, global);

    // Replace finds what Execute found: "$&" puts every match back, "" removes them all.
    std::size_t matched = 0;
    for (const Found& match : found) {
        matched += match.value.size();
    }
    FUZZ_CHECK(expression.Replace(subject, u"$&") == subject);
    const std::optional<std::u16string> removed = expression.Replace(subject, u"");
    FUZZ_CHECK(removed && removed->size() == subject.size() - matched);
    std::u16string between;
    std::size_t copied = 0;
    for (const Found& match : found) {
        between.append(subject, copied, match.first - copied);
        copied = match.first + match.value.size();
    }
    between.append(subject, copied);
    FUZZ_CHECK(*removed == between);
    return 0;
}
