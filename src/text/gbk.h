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
#include <vector>

namespace kavuro {

// True when the system's iconv knows code page 936. Without it every Chinese character
// would decode to U+FFFD, so the programs refuse to start.
bool GbkCodePageAvailable();

std::u16string GbkToUtf16(std::string_view gbk);
std::string Utf16ToGbk(std::u16string_view utf16);

// Where each UTF-16 unit of GbkToUtf16(gbk) begins in gbk. Every character decodes to
// exactly one unit, so a range found in the decoded text maps back to the very bytes it
// came from, unassigned pairs and stray bytes included. Built once per text; a look-up
// walks at most a few dozen characters.
class GbkOffsets;

// GbkToUtf16(gbk) into units and the offsets of those units into offsets, in one pass over gbk;
// both reuse the storage they already have, so a large text decoded again and again costs no fresh
// memory.
void GbkToUtf16WithOffsets(std::string_view gbk, std::u16string& units, GbkOffsets& offsets);

class GbkOffsets {
public:
    GbkOffsets() = default;

    // Byte offset in gbk (the text this was built from) of unit utf16Offset; gbk.size()
    // at or past the end.
    std::size_t ByteOffset(std::string_view gbk, std::size_t utf16Offset) const;
    // ByteOffset of utf16Offset, walking on from a unit whose byte offset is known
    // (fromUnit at or before it, at fromByte) when that is nearer than the index's sample.
    std::size_t ByteOffset(std::string_view gbk, std::size_t utf16Offset, std::size_t fromUnit,
                           std::size_t fromByte) const;

private:
    friend void GbkToUtf16WithOffsets(std::string_view, std::u16string&, GbkOffsets&);
    static constexpr std::size_t kUnitsPerSample = 64;
    std::vector<std::size_t> samples_;  // byte offset of every kUnitsPerSample-th unit
};

std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

}  // namespace kavuro
