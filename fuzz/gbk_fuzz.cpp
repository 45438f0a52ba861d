// GBK conversion over any bytes: decoding never fails and gives one unit per character,
// GbkOffsets maps every unit back to the bytes it came from, valid GBK survives a round
// trip byte for byte, and whatever the encoders write is GBK that survives one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "text/gbk.h"

namespace {

using kavuro::GbkOffsets;
using kavuro::GbkToUtf16;
using kavuro::GbkToUtf8;
using kavuro::Utf16ToGbk;
using kavuro::Utf8ToGbk;

constexpr char16_t kReplacement = u'\uFFFD';

// UTF-8 of units taken one by one as code points, as GBK decoding never makes surrogates.
std::string Utf16ToUtf8ForCheck(std::u16string_view units) {
    std::string out;
    for (const char16_t unit : units) {
        if (unit < 0x80) {
            out += static_cast<char>(unit);
        } else if (unit < 0x800) {
            out += static_cast<char>(0xC0 | unit >> 6);
            out += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | unit >> 12);
            out += static_cast<char>(0x80 | (unit >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return out;
}

void CheckDecoding(std::string_view gbk) {
    const std::u16string units = GbkToUtf16(gbk);
    FUZZ_CHECK(units.size() <= gbk.size());
    FUZZ_CHECK(GbkToUtf8(gbk) == Utf16ToUtf8ForCheck(units));

    // Each unit comes from one or two bytes, the two-byte ones from a lead byte, and the
    // bytes a unit came from decode to that unit alone.
    std::u16string unitsWithOffsets;
    GbkOffsets offsets;
    GbkToUtf16WithOffsets(gbk, unitsWithOffsets, offsets);
    FUZZ_CHECK(unitsWithOffsets == units);
    std::size_t previous = 0;
    for (std::size_t unit = 0; unit < units.size(); ++unit) {
        const std::size_t begin = offsets.ByteOffset(gbk, unit);
        const std::size_t end = offsets.ByteOffset(gbk, unit + 1);
        FUZZ_CHECK(begin == previous);
        FUZZ_CHECK(end == begin + 1 || end == begin + 2);
        FUZZ_CHECK(end <= gbk.size());
        FUZZ_CHECK(GbkToUtf16(gbk.substr(begin, end - begin)) == std::u16string(1, units[unit]));
        previous = end;
    }
    FUZZ_CHECK(previous == gbk.size());
    FUZZ_CHECK(offsets.ByteOffset(gbk, units.size()) == gbk.size());
    FUZZ_CHECK(offsets.ByteOffset(gbk, units.size() + 1000) == gbk.size());

    // Valid GBK: nothing replaced (U+FFFD itself has no GBK code).
    if (units.find(kReplacement) == std::u16string::npos) {
        FUZZ_CHECK(Utf16ToGbk(units) == gbk);
        FUZZ_CHECK(Utf8ToGbk(GbkToUtf8(gbk)) == gbk);
    }
}

// What the encoders write is valid GBK: it decodes without a replacement (unless the
// source held U+FFFD, which turns into '?') and encodes back to itself.
void CheckEncoded(const std::string& encoded) {
    const std::u16string units = GbkToUtf16(encoded);
    FUZZ_CHECK(units.find(kReplacement) == std::u16string::npos);
    FUZZ_CHECK(Utf16ToGbk(units) == encoded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CheckDecoding(bytes);

    // The same bytes read as UTF-8 and as UTF-16 code units.
    const std::string fromUtf8 = Utf8ToGbk(bytes);
    FUZZ_CHECK(fromUtf8.size() <= bytes.size());
    CheckEncoded(fromUtf8);

    std::u16string utf16(size / 2, u'\0');
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        utf16[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    }
    const std::string fromUtf16 = Utf16ToGbk(utf16);
    FUZZ_CHECK(fromUtf16.size() <= 2 * utf16.size());
    CheckEncoded(fromUtf16);
    return 0;
}
