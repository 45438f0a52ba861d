#include "playlist/character_references.h"

#include <gtest/gtest.h>

#include "support/case_name.h"
#include "text/gbk.h"

namespace kavuro {
namespace {

struct ReferenceCase {
    const char* name;
    std::string arrived;  // UTF-8 here, GBK on its way in and out
    std::string read;
    friend void PrintTo(const ReferenceCase& c, std::ostream* os) { *os << c.name; }
};

class CharacterReferenceTest : public testing::TestWithParam<ReferenceCase> {};

TEST_P(CharacterReferenceTest, ReadsWhatTheServiceMeant) {
    EXPECT_EQ(GbkToUtf8(DecodeCharacterReferences(Utf8ToGbk(GetParam().arrived))), GetParam().read);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CharacterReferenceTest,
    testing::Values(ReferenceCase{"Decimal", "The&#32;Rose", "The Rose"},
                    ReferenceCase{"Apostrophe", "There You&#39;ll Be", "There You'll Be"},
                    ReferenceCase{"Hex", "a&#x41;&#X42;&#x0063;", "aABc"},
                    ReferenceCase{"Named", "&amp;&lt;&gt;&quot;&apos;", "&<>\"'"},
                    ReferenceCase{"Chinese", "&#31291;&#x9999;", "稻香"},
                    ReferenceCase{"FullWidthAndEuro", "&#xFF0D;&#8364;", "－€"},
                    ReferenceCase{"BesideChinese", "周&#26480;伦", "周杰伦"},
                    ReferenceCase{"OnePassOnly", "&amp;#39;", "&#39;"},
                    ReferenceCase{"NotInGbkStays", "&#x1F600;&#xAC00;&#x2603;",
                                  "&#x1F600;&#xAC00;&#x2603;"},
                    ReferenceCase{"SurrogateStays", "&#xD800;", "&#xD800;"},
                    ReferenceCase{"ZeroStays", "&#0;", "&#0;"},
                    ReferenceCase{"BeyondUnicodeStays", "&#x110000;&#99999999999999999999;",
                                  "&#x110000;&#99999999999999999999;"},
                    ReferenceCase{"UnknownNameStays", "&nbsp;&copy;&AMP;", "&nbsp;&copy;&AMP;"},
                    ReferenceCase{"MalformedStays", "& &; &# &#; &#x; &#1a; &#39 &amp",
                                  "& &; &# &#; &#x; &#1a; &#39 &amp"},
                    ReferenceCase{"LongestRead", "&#x00000041;", "A"},
                    ReferenceCase{"LongerStays", "&#x000000041;", "&#x000000041;"},
                    ReferenceCase{"AmpersandBeforeAReference", "&&amp;", "&&"},
                    ReferenceCase{"Empty", "", ""},
                    ReferenceCase{"Plain", "周杰伦 - Rose", "周杰伦 - Rose"}),
    test::CaseName());

// A trail byte that looks like a letter stays with its lead byte: the '@' (0x40) of
// the GBK pair 0x81 0x40 is never read as the start of anything.
TEST(CharacterReferences, KeepsGbkPairsAndStrayBytesWhole) {
    const std::string arrived = "\x81\x40&amp;\x81\x5D&#59;\xFF&";
    EXPECT_EQ(DecodeCharacterReferences(arrived), "\x81\x40&\x81\x5D;\xFF&");
}

}  // namespace
}  // namespace kavuro
