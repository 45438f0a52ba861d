#include "text/gbk.h"

#include <gtest/gtest.h>

#include "support/case_name.h"

#include <iterator>
#include <string>

namespace kavuro {
namespace {

// A playlist's worth of GBK: Chinese names and singers, full-width punctuation, and
// characters whose second byte is ']' (81 5D), '[' (95 5B) or '\' (88 5C).
const std::string kSongListGbk =
    "\xD6\xDC\xBD\xDC\xC2\xD7 - \xB5\xBE\xCF\xE3\n"   // 周杰伦 - 稻香
    "\x81\x5D\x95\x5B\x88\x5C\xA3\xA8live\xA3\xA9\n"  // 乚昜圽（live）
    "\xA1\xA1\x80 http://music.example/a.mp3?x=1&y=2\n";

TEST(GbkConversion, DecodesKnownCharacters) {
    EXPECT_EQ(GbkToUtf8("\xD6\xDC\xBD\xDC\xC2\xD7"), "周杰伦");
    EXPECT_EQ(GbkToUtf8("\x81\x5D\x95\x5B\x88\x5C"), "乚昜圽");
    EXPECT_EQ(GbkToUtf16("\xB5\xBE\xCF\xE3"), u"稻香");
    EXPECT_EQ(GbkToUtf8("\x80"), "€");
    EXPECT_EQ(GbkToUtf8("\xA1\xA1"), "\u3000");
}

TEST(GbkConversion, ValidGbkRoundTripsByteForByte) {
    EXPECT_EQ(Utf16ToGbk(GbkToUtf16(kSongListGbk)), kSongListGbk);
    EXPECT_EQ(Utf8ToGbk(GbkToUtf8(kSongListGbk)), kSongListGbk);
}

struct BadBytesCase {
    const char* name;
    std::string gbk;
    std::u16string utf16;
    friend void PrintTo(const BadBytesCase& c, std::ostream* os) { *os << c.name; }
};

class GbkBadBytesTest : public testing::TestWithParam<BadBytesCase> {};

TEST_P(GbkBadBytesTest, NeverStopsAndKeepsPairsWhole) {
    EXPECT_EQ(GbkToUtf16(GetParam().gbk), GetParam().utf16);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GbkBadBytesTest,
    testing::Values(
        // An unassigned pair is still one character, so its ']' is not read alone.
        BadBytesCase{"UnassignedPairWithBracketTrail", "a\xA2\x5D]", u"a\uFFFD]"},
        BadBytesCase{"UnassignedPairHighTrail",
                     "\xFE\xFE"
                     "b",
                     u"\uFFFD"
                     "b"},
        BadBytesCase{"LoneLeadAtEnd", "ab\xB0", u"ab\uFFFD"},
        BadBytesCase{"LeadBeforeControlByte", "\xB0\nx", u"\uFFFD\nx"},
        BadBytesCase{"LeadBefore7F", "\xB0\x7F", u"\uFFFD\x7F"},
        BadBytesCase{"ByteFF",
                     "\xFF"
                     "a",
                     u"\uFFFD"
                     "a"},
        BadBytesCase{"ZeroByteKept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        BadBytesCase{"Empty", "", u""}),
    test::CaseName());

TEST(GbkConversion, UnmappableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(Utf16ToGbk(u"a\u00E9b"),
              "a\xA8\xA6"
              "b");                             // é is in GBK
    EXPECT_EQ(Utf16ToGbk(u"a\u0E01b"), "a?b");  // Thai is not
    EXPECT_EQ(Utf16ToGbk(u"\U0001F3B5"), "?");  // nor anything beyond the BMP
    EXPECT_EQ(Utf16ToGbk(std::u16string(1, u'\xD800')), "?");
    EXPECT_EQ(Utf8ToGbk("\xFF\xC3"), "??");  // malformed UTF-8
    EXPECT_EQ(Utf8ToGbk("\xE2\x82"), "??");  // cut short
}

TEST(GbkConversion, LongTextDecodesAsItsPiecesDo) {
    // Long enough to cross the decoder's blocks, with ASCII runs of every length between
    // double-byte characters and stray bytes.
    const std::string pieces[] = {kSongListGbk, "0123456789abcdef", "\x80", "\xFF", "x"};
    std::string text;
    std::u16string expected;
    for (std::size_t i = 0; text.size() < 20000; ++i) {
        const std::string& piece = pieces[i % std::size(pieces)];
        const std::string ascii(i % 11, 'a');
        text += ascii + piece;
        expected += GbkToUtf16(ascii) + GbkToUtf16(piece);
    }
    EXPECT_EQ(GbkToUtf16(text), expected);
    EXPECT_EQ(Utf16ToGbk(expected).size(), text.size());
}

TEST(GbkOffsets, FindWhereEachDecodedUnitBegins) {
    // Valid text, stray bytes and a lone lead byte at the end: the offset of unit u is
    // where a decoder that stops after u characters would stop.
    // Long enough to span several samples of the index. One pair of buffers serves every
    // text, as the matcher reuses its own: nothing of a longer text may stay behind.
    std::u16string decoded;
    GbkOffsets offsets;
    for (const std::string& gbk :
         {kSongListGbk + kSongListGbk + kSongListGbk + "\xB0", kSongListGbk,
          std::string("a\xA2\x5D]\xB0\nx\xFF\xFE\xFE"
                      "b\xB0")}) {
        GbkToUtf16WithOffsets(gbk, decoded, offsets);
        ASSERT_EQ(decoded, GbkToUtf16(gbk));
        const std::size_t units = decoded.size();
        for (std::size_t unit = 0; unit <= units; ++unit) {
            const std::size_t offset = offsets.ByteOffset(gbk, unit);
            // Walking on from any earlier unit whose offset is known lands on the same byte.
            for (const std::size_t from : {std::size_t{0}, unit / 2, unit > 0 ? unit - 1 : 0}) {
                ASSERT_EQ(offsets.ByteOffset(gbk, unit, from, offsets.ByteOffset(gbk, from)),
                          offset);
            }
            ASSERT_EQ(GbkToUtf16(std::string_view(gbk).substr(0, offset)).size(), unit);
            ASSERT_EQ(GbkToUtf16(std::string_view(gbk).substr(offset)).size(), units - unit);
        }
        EXPECT_EQ(offsets.ByteOffset(gbk, units + 5), gbk.size());
    }
}

TEST(GbkConversion, EveryTwoByteInputDecodesWithoutLoss) {
    // Exhaustive over all byte pairs: decoding never drops or invents characters, and
    // whatever it decodes to encodes to something (GBK or '?').
    for (int first = 0; first < 256; ++first) {
        for (int second = 0; second < 256; ++second) {
            const std::string pair{static_cast<char>(first), static_cast<char>(second)};
            const std::u16string decoded = GbkToUtf16(pair);
            ASSERT_GE(decoded.size(), 1u);
            ASSERT_LE(decoded.size(), 2u);
            ASSERT_FALSE(Utf16ToGbk(decoded).empty());
        }
    }
}

}  // namespace
}  // namespace kavuro
