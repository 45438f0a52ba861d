// The code page is read from iconv once, into two tables, so that converting a
// many-megabyte playlist answer is a table look-up per character rather than a call.
#include "text/gbk.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "text/text.h"

namespace kavuro {

namespace {

constexpr char16_t kReplacement = u'\uFFFD';
constexpr char kUnmappable = '?';

bool IsTrailByte(unsigned char byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFE);
}
bool IsDoubleByteLead(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

struct IconvCloser {
    void operator()(void* handle) const { iconv_close(static_cast<iconv_t>(handle)); }
};

class CodePageTables {
public:
    CodePageTables() : toUnicode_(0x10000, kReplacement), fromUnicode_(0x10000, 0) {
        for (unsigned byte = 0; byte < 0x80; ++byte) {
            toUnicode_[byte] = static_cast<char16_t>(byte);
        }
        std::unique_ptr<void, IconvCloser> decoder(iconv_open("UTF-16LE", "CP936"));
        available_ = decoder.get() != reinterpret_cast<void*>(-1);
        if (available_) {
            const auto decode = [&](unsigned code, std::string_view bytes) {
                char in[2] = {bytes[0], bytes.size() > 1 ? bytes[1] : '\0'};
                unsigned char out[8] = {};
                char* inPtr = in;
                char* outPtr = reinterpret_cast<char*>(out);
                std::size_t inLeft = bytes.size();
                std::size_t outLeft = sizeof out;
                iconv(static_cast<iconv_t>(decoder.get()), nullptr, nullptr, nullptr, nullptr);
                if (iconv(static_cast<iconv_t>(decoder.get()), &inPtr, &inLeft, &outPtr,
                          &outLeft) != static_cast<std::size_t>(-1) &&
                    inLeft == 0 && sizeof out - outLeft == 2) {
                    toUnicode_[code] = static_cast<char16_t>(out[0] | (out[1] << 8));
                }
            };
            decode(0x80, "\x80");
            for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
                for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                    if (IsTrailByte(static_cast<unsigned char>(trail))) {
                        const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                        decode(lead << 8 | trail, std::string_view(pair, 2));
                    }
                }
            }
        }
        // Walk codes downward, each overwriting what a higher one wrote: a character that
        // several codes decode to then encodes to the lowest, the one GBK itself prefers.
        for (unsigned code = 0xFFFF; code > 0; --code) {
            if (toUnicode_[code] != kReplacement && (code < 0x100 || code > 0x80FF)) {
                fromUnicode_[toUnicode_[code]] = static_cast<std::uint16_t>(code);
            }
        }
        fromUnicode_[0] = 0;
    }

    bool Available() const { return available_; }
    // Unicode of a single byte (code below 0x100) or of a lead-trail pair.
    char16_t ToUnicode(unsigned code) const { return toUnicode_[code]; }
    // The GBK code of a BMP character, 0 when GBK has none (U+0000 itself is byte 0).
    std::uint16_t FromUnicode(char16_t unit) const { return fromUnicode_[unit]; }

private:
    bool available_ = false;
    std::vector<char16_t> toUnicode_;
    std::vector<std::uint16_t> fromUnicode_;
};

const CodePageTables& Tables() {
    static const CodePageTables tables;
    return tables;
}

}  // namespace

bool GbkCodePageAvailable() {
    return Tables().Available();
}

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Code points of UTF-8 text; a malformed sequence yields U+FFFD for its first byte.
template <typename Sink>
void ForEachUtf8CodePoint(std::string_view utf8, Sink&& sink) {
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        std::size_t length = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (byte < 0x80) {
            length = 1, c = byte;
        } else if ((byte & 0xE0) == 0xC0) {
            length = 2, c = byte & 0x1F, minimum = 0x80;
        } else if ((byte & 0xF0) == 0xE0) {
            length = 3, c = byte & 0x0F, minimum = 0x800;
        } else if ((byte & 0xF8) == 0xF0) {
            length = 4, c = byte & 0x07, minimum = 0x10000;
        }
        bool valid = length != 0 && i + length <= utf8.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        valid = valid && c >= minimum && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
        if (valid) {
            sink(c);
            i += length;
        } else {
            sink(char32_t{kReplacement});
            i += 1;
        }
    }
}

// Bytes of the character that starts at gbk[i]: 2 for a lead byte with a trail byte.
std::size_t CharacterLengthAt(std::string_view gbk, std::size_t i) {
    return IsDoubleByteLead(static_cast<unsigned char>(gbk[i])) && i + 1 < gbk.size() &&
                   IsTrailByte(static_cast<unsigned char>(gbk[i + 1]))
               ? 2
               : 1;
}

// True when the eight bytes from gbk[i] are there and all ASCII. A playlist is mostly
// ASCII, so the walks below take such runs eight bytes at a time.
bool EightAsciiAt(std::string_view gbk, std::size_t i) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080;
    std::uint64_t eight = kHighBits;
    if (gbk.size() - i >= sizeof eight) {
        std::memcpy(&eight, gbk.data() + i, sizeof eight);
    }
    return (eight & kHighBits) == 0;
}

// How many ASCII bytes, at most limit, start at gbk[i]; each is one character and one unit.
std::size_t AsciiRunAt(std::string_view gbk, std::size_t i, std::size_t limit) {
    limit = std::min(limit, gbk.size() - i);
    std::size_t run = 0;
    while (run + 8 <= limit && EightAsciiAt(gbk, i + run)) {
        run += 8;
    }
    while (run < limit && static_cast<unsigned char>(gbk[i + run]) < 0x80) {
        ++run;
    }
    return run;
}

// The character that starts at gbk[i] (i < gbk.size()), and how many bytes it takes.
struct Decoded {
    char16_t unit;
    std::size_t length;
};
Decoded DecodeAt(const CodePageTables& tables, std::string_view gbk, std::size_t i) {
    const auto byte = static_cast<unsigned char>(gbk[i]);
    if (byte < 0x80) {
        return {static_cast<char16_t>(byte), 1};
    }
    if (CharacterLengthAt(gbk, i) == 2) {
        return {tables.ToUnicode(byte << 8 | static_cast<unsigned char>(gbk[i + 1])), 2};
    }
    return {IsDoubleByteLead(byte) || byte == 0xFF ? kReplacement : tables.ToUnicode(byte), 1};
}

// Unicode characters of GBK text, one call per character.
template <typename Sink>
void ForEachGbkCharacter(std::string_view gbk, Sink&& sink) {
    const CodePageTables& tables = Tables();
    for (std::size_t i = 0; i < gbk.size();) {
        const Decoded decoded = DecodeAt(tables, gbk, i);
        sink(decoded.unit);
        i += decoded.length;
    }
}

// Writes c in GBK at out, '?' when GBK has no such character, and returns where it ended:
// at most two bytes further on.
char* PutGbk(char* out, const CodePageTables& tables, char32_t c) {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
        return out;
    }
    const std::uint16_t code = c <= 0xFFFF ? tables.FromUnicode(static_cast<char16_t>(c)) : 0;
    if (code == 0) {
        *out++ = kUnmappable;
    } else if (code < 0x100) {
        *out++ = static_cast<char>(code);
    } else {
        *out++ = static_cast<char>(code >> 8);
        *out++ = static_cast<char>(code & 0xFF);
    }
    return out;
}

// GbkToUtf16 into out, which keeps its storage. onUnits(i, first, count) hears that
// count units from unit first begin at byte i, one byte each when count is above 1.
// A playlist answer runs to megabytes and is mostly ASCII: each run of ASCII bytes is
// widened in one tight loop, and units gather in a small block that joins the result
// whole, which spares a capacity check per character and a zero fill of the result.
template <typename OnUnits>
void DecodeInto(std::string_view gbk, std::u16string& out, OnUnits&& onUnits) {
    const CodePageTables& tables = Tables();
    out.clear();
    out.reserve(gbk.size());
    char16_t block[2048];
    std::size_t i = 0;
    while (i < gbk.size()) {
        char16_t* next = block;
        char16_t* const blockEnd = block + std::size(block);
        while (i < gbk.size() && next < blockEnd) {
            const std::size_t unit = out.size() + static_cast<std::size_t>(next - block);
            const std::size_t ascii = AsciiRunAt(gbk, i, static_cast<std::size_t>(blockEnd - next));
            if (ascii > 0) {
                const auto* bytes = reinterpret_cast<const unsigned char*>(gbk.data() + i);
                for (std::size_t k = 0; k < ascii; ++k) {
                    next[k] = bytes[k];
                }
                onUnits(i, unit, ascii);
                next += ascii;
                i += ascii;
            } else {
                const Decoded decoded = DecodeAt(tables, gbk, i);
                onUnits(i, unit, 1);
                *next++ = decoded.unit;
                i += decoded.length;
            }
        }
        out.append(block, static_cast<std::size_t>(next - block));
    }
}

}  // namespace

std::u16string GbkToUtf16(std::string_view gbk) {
    std::u16string out;
    DecodeInto(gbk, out, [](std::size_t, std::size_t, std::size_t) {});
    return out;
}

void GbkToUtf16WithOffsets(std::string_view gbk, std::u16string& units, GbkOffsets& offsets) {
    std::vector<std::size_t>& samples = offsets.samples_;
    samples.clear();
    samples.reserve(gbk.size() / GbkOffsets::kUnitsPerSample + 1);
    std::size_t nextSample = 0;
    DecodeInto(gbk, units, [&](std::size_t i, std::size_t first, std::size_t count) {
        for (; nextSample < first + count; nextSample += GbkOffsets::kUnitsPerSample) {
            samples.push_back(i + (nextSample - first));
        }
    });
}

std::size_t GbkOffsets::ByteOffset(std::string_view gbk, std::size_t utf16Offset) const {
    return ByteOffset(gbk, utf16Offset, 0, 0);
}

std::size_t GbkOffsets::ByteOffset(std::string_view gbk, std::size_t utf16Offset,
                                   std::size_t fromUnit, std::size_t fromByte) const {
    const std::size_t sample = utf16Offset / kUnitsPerSample;
    if (sample >= samples_.size()) {
        return gbk.size();
    }
    std::size_t i = samples_[sample];
    std::size_t units = utf16Offset % kUnitsPerSample;
    if (fromUnit <= utf16Offset && utf16Offset - fromUnit < units) {
        i = fromByte;
        units = utf16Offset - fromUnit;
    }
    while (units > 0 && i < gbk.size()) {
        const std::size_t ascii = AsciiRunAt(gbk, i, units);
        i += ascii > 0 ? ascii : CharacterLengthAt(gbk, i);
        units -= ascii > 0 ? ascii : 1;
    }
    return i;
}

std::string Utf16ToGbk(std::u16string_view utf16) {
    const CodePageTables& tables = Tables();
    std::string out(utf16.size() * 2, '\0');
    char* next = out.data();
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        }
        next = PutGbk(next, tables, c);
    }
    out.resize(static_cast<std::size_t>(next - out.data()));
    return out;
}

std::string GbkToUtf8(std::string_view gbk) {
    std::string out;
    out.reserve(gbk.size() * 3 / 2);
    ForEachGbkCharacter(gbk, [&](char16_t unit) { AppendUtf8(out, unit); });
    return out;
}

std::string Utf8ToGbk(std::string_view utf8) {
    // No character takes more bytes in GBK than in UTF-8, nor does a replaced one.
    const CodePageTables& tables = Tables();
    std::string out(utf8.size(), '\0');
    char* next = out.data();
    ForEachUtf8CodePoint(utf8, [&](char32_t c) { next = PutGbk(next, tables, c); });
    out.resize(static_cast<std::size_t>(next - out.data()));
    return out;
}

}  // namespace kavuro
