#include "text/text.h"

#include <algorithm>
#include <cstring>

namespace kavuro {

namespace {

constexpr unsigned char kSpace = 0x20;
constexpr unsigned char kFullWidthSpaceByte = 0xA1;  // A1 A1 is the full-width space

unsigned char ByteAt(std::string_view text, std::size_t index) {
    return static_cast<unsigned char>(text[index]);
}

bool IsFullWidthSpaceAt(std::string_view text, std::size_t index) {
    return index + 1 < text.size() && ByteAt(text, index) == kFullWidthSpaceByte &&
           ByteAt(text, index + 1) == kFullWidthSpaceByte;
}

unsigned char FoldAsciiCase(unsigned char byte) {
    return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

}  // namespace

std::int32_t TextLength(std::string_view text) {
    return static_cast<std::int32_t>(text.size());
}

int CompareTexts(std::string_view a, std::string_view b) {
    const int order = a.compare(b);  // char_traits<char>::compare orders bytes as unsigned
    return (order > 0) - (order < 0);
}

Text TrimBothEnds(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        if (ByteAt(text, begin) == kSpace) {
            begin += 1;
        } else if (IsFullWidthSpaceAt(text, begin)) {
            begin += 2;
        } else {
            break;
        }
    }

    std::size_t end = text.size();
    std::optional<std::size_t> spaceRunStart;
    for (std::size_t i = begin; i < text.size();) {
        const unsigned char byte = ByteAt(text, i);
        if (!IsLeadByte(byte)) {
            if (byte == kSpace) {
                spaceRunStart = spaceRunStart.value_or(i);
            } else {
                spaceRunStart.reset();
            }
            i += 1;
        } else if (i + 1 == text.size()) {
            // A lead byte without its trail byte is no character: drop it, and keep the
            // spaces before it, which are no longer at the end of a character run.
            end = i;
            spaceRunStart.reset();
            break;
        } else {
            if (IsFullWidthSpaceAt(text, i)) {
                spaceRunStart = spaceRunStart.value_or(i);
            } else {
                spaceRunStart.reset();
            }
            i += 2;
        }
    }
    if (spaceRunStart) {
        end = *spaceRunStart;
    }
    return Text(text.substr(begin, end - begin));
}

Text IntegerToText(std::int32_t value) {
    return std::to_string(value);
}

Text BytesToText(Bytes bytes) {
    bytes.resize(std::min(bytes.size(), bytes.find('\0')));
    return bytes;
}

std::int32_t FindText(std::string_view haystack, std::string_view needle,
                      std::optional<std::int32_t> start, bool ignoreCase) {
    const std::size_t length = haystack.size();
    const std::int64_t requested = start ? std::int64_t{*start} - 1 : 0;
    const std::size_t from = static_cast<std::size_t>(std::max<std::int64_t>(requested, 0));
    if (from >= length) {
        return -1;
    }
    if (needle.empty()) {
        return 1;
    }

    const auto sameBytes = [&](std::size_t at) {
        if (!ignoreCase) {
            return haystack.compare(at, needle.size(), needle) == 0;
        }
        for (std::size_t k = 0; k < needle.size(); ++k) {
            if (FoldAsciiCase(ByteAt(haystack, at + k)) != FoldAsciiCase(ByteAt(needle, k))) {
                return false;
            }
        }
        return true;
    };

    for (std::size_t at = from; at + needle.size() <= length;
         at += IsLeadByte(ByteAt(haystack, at)) ? 2 : 1) {
        if (sameBytes(at)) {
            return static_cast<std::int32_t>(at + 1);
        }
    }
    return -1;
}

}  // namespace kavuro
