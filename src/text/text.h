// Text and Bytes: the values every other part of Kavuro passes around, and the few
// operations on them. A Text holds GBK bytes; lengths and positions count bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace kavuro {

// GBK bytes without a zero byte. The empty string stands for an absent text too: no
// operation treats the two differently, so one representation serves both.
using Text = std::string;

// A counted run of bytes that may hold zero bytes, such as an HTTP body.
using Bytes = std::string;

// Number of bytes in the text.
std::int32_t TextLength(std::string_view text);

// The parts one after another, in argument order.
template <typename... Parts>
requires(sizeof...(Parts) >= 2 && sizeof...(Parts) <= 5 &&
         (std::is_convertible_v<const Parts&, std::string_view> && ...)) Text
    ConcatTexts(const Parts&... parts) {
    Text joined;
    joined.reserve((std::string_view(parts).size() + ...));
    (joined.append(std::string_view(parts)), ...);
    return joined;
}

// -1, 0 or +1, comparing bytes as unsigned values; a prefix is the smaller text.
int CompareTexts(std::string_view a, std::string_view b);

// The text without leading and trailing ASCII spaces and full-width spaces (A1 A1).
// Double-byte characters are walked whole, so a trail byte is never taken for a space;
// a lead byte left alone at the very end is cut off.
Text TrimBothEnds(std::string_view text);

// Signed decimal form, no grouping or padding.
Text IntegerToText(std::int32_t value);

// The bytes before the first zero byte, unconverted. Bytes handed over are kept, not copied.
Text BytesToText(Bytes bytes);

// 1-based byte position of the first occurrence of needle at a character boundary at or
// after start (1-based, default 1), or -1. ignoreCase folds only A-Z.
std::int32_t FindText(std::string_view haystack, std::string_view needle,
                      std::optional<std::int32_t> start = std::nullopt, bool ignoreCase = false);

// True for a byte that starts a double-byte GBK character.
constexpr bool IsLeadByte(unsigned char byte) {
    return byte >= 0x80;
}

}  // namespace kavuro
