#include "playlist/character_references.h"

#include <array>
#include <optional>
#include <string>
#include <utility>

#include "text/gbk.h"

namespace kavuro {
namespace {

// "&#x10FFFF;" and the like fit; longer runs are not looked at.
constexpr std::size_t kLongestReference = 12;
constexpr char32_t kLastCodePoint = 0x10FFFF;

constexpr std::array<std::pair<std::string_view, char>, 5> kNamed = {{
    {"amp", '&'},
    {"lt", '<'},
    {"gt", '>'},
    {"quot", '"'},
    {"apos", '\''},
}};

std::optional<int> DigitValue(char c, int base) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (base == 16 && c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (base == 16 && c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return std::nullopt;
}

// The code point of "#NNN" or "#xHHH" (the text between "&" and ";").
std::optional<char32_t> NumericReference(std::string_view digits) {
    int base = 10;
    if (!digits.empty() && (digits.front() == 'x' || digits.front() == 'X')) {
        base = 16;
        digits.remove_prefix(1);
    }
    if (digits.empty()) {
        return std::nullopt;
    }
    char32_t value = 0;
    for (const char c : digits) {
        const std::optional<int> digit = DigitValue(c, base);
        if (!digit) {
            return std::nullopt;
        }
        value = value * static_cast<char32_t>(base) + static_cast<char32_t>(*digit);
        if (value > kLastCodePoint) {
            return std::nullopt;
        }
    }
    return value;
}

// The character a reference's name stands for, in GBK; none when GBK cannot hold it.
std::optional<Text> Referenced(std::string_view name) {
    if (!name.empty() && name.front() == '#') {
        const std::optional<char32_t> code = NumericReference(name.substr(1));
        if (!code || *code == 0 || *code > 0xFFFF || (*code >= 0xD800 && *code <= 0xDFFF)) {
            return std::nullopt;
        }
        if (*code < 0x80) {
            return Text(1, static_cast<char>(*code));
        }
        Text encoded = Utf16ToGbk(std::u16string(1, static_cast<char16_t>(*code)));
        if (encoded == "?") {  // what GBK cannot hold
            return std::nullopt;
        }
        return encoded;
    }
    for (const auto& [named, character] : kNamed) {
        if (name == named) {
            return Text(1, character);
        }
    }
    return std::nullopt;
}

}  // namespace

// Bytes are searched, not characters: neither "&" nor ";" is ever the second byte of a
// GBK character, and a reference's name is ASCII, so no character is split.
Text DecodeCharacterReferences(std::string_view gbk) {
    Text decoded;
    decoded.reserve(gbk.size());
    std::size_t from = 0;
    for (std::size_t amp; (amp = gbk.find('&', from)) != std::string_view::npos;) {
        decoded.append(gbk.substr(from, amp - from));
        const std::size_t end = gbk.substr(0, amp + kLongestReference).find(';', amp + 1);
        std::optional<Text> character;
        if (end != std::string_view::npos) {
            character = Referenced(gbk.substr(amp + 1, end - amp - 1));
        }
        if (character) {
            decoded += *character;
            from = end + 1;
        } else {
            decoded += '&';
            from = amp + 1;
        }
    }
    decoded.append(gbk.substr(from));
    return decoded;
}

}  // namespace kavuro
