#include "text/text.h"

#include <gtest/gtest.h>

#include "support/case_name.h"

#include <climits>
#include <string>

namespace kavuro {
namespace {

TEST(TextLength, CountsBytesNotCharacters) {
    EXPECT_EQ(TextLength(""), 0);
    EXPECT_EQ(TextLength("abc"), 3);
    EXPECT_EQ(TextLength("\xB8\xE8\xC7\xFA"), 4);  // two GBK characters
}

TEST(ConcatTexts, JoinsTwoToFivePartsInOrder) {
    EXPECT_EQ(ConcatTexts(Text(), Text()), "");
    EXPECT_EQ(ConcatTexts("QQ:", Text("123")), "QQ:123");
    EXPECT_EQ(ConcatTexts("a", "", "b", Text("c"), "de"), "abcde");
}

struct CompareCase {
    std::string a;
    std::string b;
    int expected;
    friend void PrintTo(const CompareCase& c, std::ostream* os) {
        *os << testing::PrintToString(c.a) << " vs " << testing::PrintToString(c.b);
    }
};

class CompareTextsTest : public testing::TestWithParam<CompareCase> {};

TEST_P(CompareTextsTest, OrdersBytesAsUnsigned) {
    EXPECT_EQ(CompareTexts(GetParam().a, GetParam().b), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, CompareTextsTest,
                         testing::Values(CompareCase{"", "", 0}, CompareCase{"a", "", 1},
                                         CompareCase{"", "a", -1}, CompareCase{"ab", "abc", -1},
                                         CompareCase{"abc", "ab", 1}, CompareCase{"abc", "abc", 0},
                                         CompareCase{"\xB0\xA1", "a", 1},
                                         CompareCase{"a", "\xB0\xA1", -1},
                                         CompareCase{"\xB0\xA1", "\xB0\xA2", -1}));

struct TrimCase {
    const char* name;
    std::string input;
    std::string expected;
    friend void PrintTo(const TrimCase& c, std::ostream* os) { *os << c.name; }
};

class TrimBothEndsTest : public testing::TestWithParam<TrimCase> {};

TEST_P(TrimBothEndsTest, CutsOnlySpacesAtCharacterBoundaries) {
    const std::string input = GetParam().input;
    EXPECT_EQ(TrimBothEnds(input), GetParam().expected);
    EXPECT_EQ(input, GetParam().input);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrimBothEndsTest,
    testing::Values(TrimCase{"AsciiSpaces", "  12345 ", "12345"},
                    TrimCase{"FullWidthSpaces",
                             "\xA1\xA1"
                             "12345\xA1\xA1",
                             "12345"},
                    TrimCase{"MixedSpaces", " \xA1\xA1 1 2\xA1\xA1  \xA1\xA1", "1 2"},
                    TrimCase{"OnlySpaces", "  \xA1\xA1 ", ""}, TrimCase{"Empty", "", ""},
                    TrimCase{"TabAndLineFeedStay", "\t12345\n", "\t12345\n"},
                    TrimCase{"LoneLeadByteCutSpaceStays", "ab \xB0", "ab "},
                    TrimCase{"LeadByteWithSpaceTrailIsOneCharacter", "\xB0 ", "\xB0 "},
                    TrimCase{"TrailByteA1IsNoSpace", "\xB0\xA1\xA1", "\xB0\xA1"},
                    TrimCase{"SecondByteA1ThenSpace", "x\xC4\xA1 ", "x\xC4\xA1"},
                    TrimCase{"InnerSpacesStay", " a  b ", "a  b"},
                    TrimCase{"LoneA1AtEndIsCut", "12\xA1", "12"},
                    TrimCase{"OnlyLoneLeadByte", "  \xB0", ""}),
    test::CaseName());

TEST(IntegerToText, WritesSignedDecimal) {
    EXPECT_EQ(IntegerToText(0), "0");
    EXPECT_EQ(IntegerToText(3), "3");
    EXPECT_EQ(IntegerToText(-15), "-15");
    EXPECT_EQ(IntegerToText(10000), "10000");
    EXPECT_EQ(IntegerToText(INT32_MAX), "2147483647");
    EXPECT_EQ(IntegerToText(INT32_MIN), "-2147483648");
}

TEST(BytesToText, StopsAtTheFirstZeroByte) {
    EXPECT_EQ(BytesToText(std::string("ab\0c", 4)), "ab");
    EXPECT_EQ(BytesToText(std::string("\0abc", 4)), "");
    EXPECT_EQ(BytesToText(""), "");
    EXPECT_EQ(BytesToText("\xB8\xE8\xC7\xFA"), "\xB8\xE8\xC7\xFA");
}

struct FindCase {
    const char* name;
    std::string haystack;
    std::string needle;
    std::optional<std::int32_t> start;
    bool ignoreCase;
    std::int32_t expected;
    friend void PrintTo(const FindCase& c, std::ostream* os) { *os << c.name; }
};

class FindTextTest : public testing::TestWithParam<FindCase> {};

TEST_P(FindTextTest, FindsAtCharacterBoundaries) {
    const FindCase& c = GetParam();
    EXPECT_EQ(FindText(c.haystack, c.needle, c.start, c.ignoreCase), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindTextTest,
    testing::Values(FindCase{"First", "abcabc", "c", std::nullopt, false, 3},
                    FindCase{"FromFour", "abcabc", "c", 4, false, 6},
                    FindCase{"StartZero", "abcabc", "c", 0, false, 3},
                    FindCase{"StartNegative", "abcabc", "c", -5, false, 3},
                    FindCase{"StartSmallest", "abcabc", "c", INT32_MIN, false, 3},
                    FindCase{"StartPastEnd", "abcabc", "c", 7, false, -1},
                    FindCase{"EmptyNeedle", "abc", "", std::nullopt, false, 1},
                    FindCase{"EmptyNeedleStartThree", "abc", "", 3, false, 1},
                    FindCase{"EmptyNeedleStartFour", "abc", "", 4, false, -1},
                    FindCase{"EmptyHaystack", "", "", std::nullopt, false, -1},
                    FindCase{"CaseMatters", "ABC", "b", std::nullopt, false, -1},
                    FindCase{"IgnoreCase", "ABC", "b", std::nullopt, true, 2},
                    FindCase{"NeverAtSecondByte", "\xB0\xA1", "\xA1", std::nullopt, false, -1},
                    FindCase{"AfterDoubleByte", "\xB0\xA1\xA1", "\xA1", std::nullopt, false, 3},
                    FindCase{"DoubleByteNeedle", "a\xB0\xA1", "\xB0\xA1", std::nullopt, false, 2},
                    FindCase{"LoneLeadAtEnd", "ab\xB0", "\xB0", std::nullopt, false, 3},
                    FindCase{"NeedleLongerThanRest", "abc", "bcd", std::nullopt, false, -1},
                    FindCase{"IgnoreCaseFoldsOnlyAscii", "\xB0\xC1", "\xB0\xE1", std::nullopt, true,
                             -1}),
    test::CaseName());

}  // namespace
}  // namespace kavuro
