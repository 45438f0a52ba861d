// The text operations over any bytes, each against a plain reading of what text.h
// promises: trimming cuts whole characters only, a find lands on the first character
// boundary where the needle is, comparing orders bytes as unsigned values.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "text/text.h"

namespace {

using namespace kavuro;

bool IsSpaceAt(std::string_view text, std::size_t i, std::size_t length) {
    return (length == 1 && text[i] == ' ') ||
           (length == 2 && text.substr(i, 2) == std::string_view("\xA1\xA1", 2));
}

void CheckTrim(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size() && IsSpaceAt(text, begin, text[begin] == ' ' ? 1 : 2)) {
        begin += text[begin] == ' ' ? 1 : 2;
    }
    // Characters from there: one byte below 0x80, else two; a lead byte alone at the end
    // is cut off together with nothing before it.
    std::vector<std::pair<std::size_t, std::size_t>> characters;
    bool loneLead = false;
    for (std::size_t i = begin; i < text.size();) {
        const std::size_t length = IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
        if (i + length > text.size()) {
            loneLead = true;
            break;
        }
        characters.emplace_back(i, length);
        i += length;
    }
    if (!loneLead) {
        while (!characters.empty() &&
               IsSpaceAt(text, characters.back().first, characters.back().second)) {
            characters.pop_back();
        }
    }
    const std::size_t end =
        characters.empty() ? begin : characters.back().first + characters.back().second;
    FUZZ_CHECK(TrimBothEnds(text) == text.substr(begin, end - begin));
}

bool SameBytes(std::string_view a, std::string_view b, bool ignoreCase) {
    const auto fold = [&](char c) {
        return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return fold(x) == fold(y); });
}

void CheckFind(std::string_view haystack, std::string_view needle,
               std::optional<std::int32_t> start, bool ignoreCase) {
    const std::int32_t found = FindText(haystack, needle, start, ignoreCase);
    const std::int64_t from = std::max<std::int64_t>(start ? std::int64_t{*start} - 1 : 0, 0);
    std::int32_t expected = -1;
    if (from < static_cast<std::int64_t>(haystack.size())) {
        if (needle.empty()) {
            expected = 1;
        } else {
            for (auto at = static_cast<std::size_t>(from); at + needle.size() <= haystack.size();
                 at += IsLeadByte(static_cast<unsigned char>(haystack[at])) ? 2 : 1) {
                if (SameBytes(haystack.substr(at, needle.size()), needle, ignoreCase)) {
                    expected = static_cast<std::int32_t>(at + 1);
                    break;
                }
            }
        }
    }
    FUZZ_CHECK(found == expected);
}

void CheckCompare(std::string_view a, std::string_view b) {
    const int order = CompareTexts(a, b);
    FUZZ_CHECK(order == -1 || order == 0 || order == 1);
    FUZZ_CHECK(CompareTexts(b, a) == -order);
    FUZZ_CHECK((order == 0) == (a == b));
    const std::basic_string_view<unsigned char> ua(reinterpret_cast<const unsigned char*>(a.data()),
                                                   a.size());
    const std::basic_string_view<unsigned char> ub(reinterpret_cast<const unsigned char*>(b.data()),
                                                   b.size());
    FUZZ_CHECK((order < 0) ==
               std::lexicographical_compare(ua.begin(), ua.end(), ub.begin(), ub.end()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const bool ignoreCase = provider.ConsumeBool();
    const std::optional<std::int32_t> start =
        provider.ConsumeBool() ? std::optional(provider.ConsumeIntegral<std::int32_t>())
                               : std::nullopt;
    const std::string needle = provider.ConsumeRandomLengthString(64);
    const std::string haystack = provider.ConsumeRemainingBytesAsString();

    CheckTrim(haystack);
    CheckTrim(needle);
    CheckFind(haystack, needle, start, ignoreCase);
    CheckFind(haystack, needle, start && *start > 0 ? std::optional(*start % 64) : start,
              ignoreCase);
    CheckCompare(haystack, needle);
    CheckCompare(haystack, haystack);

    FUZZ_CHECK(TextLength(haystack) == static_cast<std::int32_t>(haystack.size()));
    const Text joined = ConcatTexts(needle, haystack, needle);
    FUZZ_CHECK(joined == needle + haystack + needle);
    const Text text = BytesToText(haystack);
    FUZZ_CHECK(text.find('\0') == Text::npos && haystack.compare(0, text.size(), text) == 0 &&
               (text.size() == haystack.size() || haystack[text.size()] == '\0'));
    const auto value = start.value_or(static_cast<std::int32_t>(size));
    FUZZ_CHECK(IntegerToText(value) == std::to_string(value));
    return 0;
}
