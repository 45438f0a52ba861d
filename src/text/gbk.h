// Conversion between GBK (code page 936) and Unicode. Texts stay GBK in the core and
// meet Unicode only at the window and on the way into the regular-expression engine.
//
// Decoding never stops and never throws: a lead byte (81-FE) with a trail byte (40-7E,
// 80-FE) is always one character, U+FFFD when the pair is unassigned, so a trail byte
// such as ']' is never read alone; any other stray byte becomes U+FFFD. Encoding turns
// what GBK cannot hold into '?'. Valid GBK survives a round trip byte for byte.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kavuro {

std::u16string GbkToUtf16(std::string_view gbk);
std::string Utf16ToGbk(std::u16string_view utf16);

// Where UTF-16 unit utf16Offset of GbkToUtf16(gbk) begins in gbk, in bytes; gbk.size()
// at or past the end. Each character is one unit, so this walks the characters before it.
std::size_t GbkByteOffset(std::string_view gbk, std::size_t utf16Offset);

std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

}  // namespace kavuro
