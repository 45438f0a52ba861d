#include "match/regexp.h"

#include <gtest/gtest.h>

#include "match/engine_mode.h"
#include "support/case_name.h"

#include <chrono>
#include <string>
#include <type_traits>
#include <vector>

namespace kavuro {
namespace {

std::shared_ptr<RegExp> MakeRegExp(std::u16string pattern, bool ignoreCase = false,
                                   bool multiline = false, bool global = true) {
    auto expression = std::make_shared<RegExp>();
    expression->SetIgnoreCase(ignoreCase);
    expression->SetMultiline(multiline);
    expression->SetGlobal(global);
    expression->SetPattern(std::move(pattern));
    return expression;
}

struct Found {
    std::u16string value;
    std::int32_t firstIndex;
    friend bool operator==(const Found&, const Found&) = default;
    friend void PrintTo(const Found& f, std::ostream* os) {
        *os << testing::PrintToString(f.value) << " at " << f.firstIndex;
    }
};

std::vector<Found> Execute(const RegExp& expression, std::u16string subject) {
    const std::shared_ptr<MatchCollection> matches = expression.Execute(std::move(subject));
    std::vector<Found> found;
    if (matches) {
        for (std::int32_t i = 0; i < matches->Count(); ++i) {
            found.push_back({matches->Item(i)->Value(), matches->Item(i)->FirstIndex()});
        }
    }
    return found;
}

struct ExecuteCase {
    const char* name;
    std::u16string pattern;
    bool ignoreCase;
    bool multiline;
    bool global;
    std::u16string subject;
    std::vector<Found> expected;
    friend void PrintTo(const ExecuteCase& c, std::ostream* os) { *os << c.name; }
};

class RegExpExecuteTest : public testing::TestWithParam<ExecuteCase> {};

TEST_P(RegExpExecuteTest, FindsTheExpectedMatches) {
    const ExecuteCase& c = GetParam();
    EXPECT_EQ(Execute(*MakeRegExp(c.pattern, c.ignoreCase, c.multiline, c.global), c.subject),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegExpExecuteTest,
    testing::Values(
        ExecuteCase{"DotRefusesOnlyLineFeed",
                    u"a.b",
                    false,
                    false,
                    true,
                    u"a\nb a\rb a\u3000b",
                    {{u"a\rb", 4}, {u"a\u3000b", 8}}},
        // The six ASCII white-space characters, and neither no-break nor ideographic space.
        ExecuteCase{
            "WhiteSpaceClass",
            u"x\\sy",
            false,
            false,
            true,
            u"x y,x\ty,x\ny,x\ry,x\fy,x\vy,x\u00A0y,x\u3000y",
            {{u"x y", 0}, {u"x\ty", 4}, {u"x\ny", 8}, {u"x\ry", 12}, {u"x\fy", 16}, {u"x\vy", 20}}},
        ExecuteCase{"IgnoreCase",
                    u"cdata",
                    true,
                    false,
                    true,
                    u"CDATA cData",
                    {{u"CDATA", 0}, {u"cData", 6}}},
        ExecuteCase{"CaseSensitive", u"cdata", false, false, true, u"CDATA cdata", {{u"cdata", 6}}},
        ExecuteCase{"NotGlobalStopsAtFirst", u"\\d", false, false, false, u"a1b2", {{u"1", 1}}},
        ExecuteCase{"LazyMatchesDoNotOverlap",
                    u"<(.*?)>",
                    false,
                    false,
                    true,
                    u"<a><b>",
                    {{u"<a>", 0}, {u"<b>", 3}}},
        // After an empty match the next search starts one unit further on.
        ExecuteCase{"EmptyMatchesMoveOnByOne",
                    u"x*",
                    false,
                    false,
                    true,
                    u"axxb",
                    {{u"", 0}, {u"xx", 1}, {u"", 3}, {u"", 4}}},
        ExecuteCase{"MultilineAnchorsAtLineFeeds",
                    u"^\\w",
                    false,
                    true,
                    true,
                    u"a\nb",
                    {{u"a", 0}, {u"b", 2}}},
        ExecuteCase{
            "SingleLineAnchorsAtStartOnly", u"^\\w", false, false, true, u"a\nb", {{u"a", 0}}},
        ExecuteCase{"PositionsCountUnits",
                    u"\u9999",
                    false,
                    false,
                    true,
                    u"\u7A3B\u9999",
                    {{u"\u9999", 1}}},
        ExecuteCase{"EmptySubject", u"a", false, false, true, u"", {}},
        // Items that must open the pattern keep working, whatever the engine adds in front.
        ExecuteCase{"StartOfPatternItems",
                    u"(*LIMIT_MATCH=100)(*CR)^b",
                    false,
                    true,
                    true,
                    u"a\rb\nb",
                    {{u"b", 2}}}),
    test::CaseName());

TEST(RegExp, SubMatchesTellAbsentGroupsFromEmptyOnes) {
    const auto matches = MakeRegExp(u"(a)|(b)(c?)")->Execute(u"xb");
    ASSERT_TRUE(matches);
    ASSERT_EQ(matches->Count(), 1);
    EXPECT_EQ(matches->Item(-1), nullptr);
    EXPECT_EQ(matches->Item(1), nullptr);

    const auto groups = matches->Item(0)->SubMatches();
    ASSERT_EQ(groups->Count(), 3);
    EXPECT_EQ(groups->Item(0), std::nullopt);  // took no part
    EXPECT_EQ(groups->FirstIndex(0), -1);
    EXPECT_EQ(groups->Item(1), u"b");
    EXPECT_EQ(groups->FirstIndex(1), 1);
    EXPECT_EQ(groups->Item(2), u"");  // took part, empty
    EXPECT_EQ(groups->FirstIndex(2), 2);
    EXPECT_EQ(groups->Item(3), std::nullopt);
    EXPECT_EQ(groups->Item(-1), std::nullopt);

    // The collection answers the same without a handle per match.
    EXPECT_EQ(matches->GroupCount(), 3);
    ASSERT_TRUE(matches->Group(0, 0));
    EXPECT_EQ(matches->Group(0, 0)->text, u"b");
    EXPECT_EQ(matches->Group(0, 0)->firstIndex, 1);
    EXPECT_EQ(matches->Group(0, 1), std::nullopt);
    EXPECT_EQ(matches->Group(0, 3)->text, u"");
    EXPECT_EQ(matches->Group(0, 4), std::nullopt);
    EXPECT_EQ(matches->Group(1, 0), std::nullopt);
    EXPECT_EQ(matches->Group(-1, 0), std::nullopt);
}

TEST(RegExp, PropertiesReadBackAndAChangeRecompiles) {
    RegExp expression;
    EXPECT_FALSE(expression.IgnoreCase());
    EXPECT_FALSE(expression.Multiline());
    EXPECT_FALSE(expression.Global());
    EXPECT_EQ(expression.Pattern(), u"");

    expression.SetPattern(u"(");
    EXPECT_EQ(expression.Execute(u"("), nullptr);
    EXPECT_EQ(expression.Replace(u"(", u"x"), std::nullopt);

    expression.SetPattern(u"a");
    expression.SetGlobal(true);
    EXPECT_EQ(Execute(expression, u"Aa").size(), 1u);
    expression.SetIgnoreCase(true);
    EXPECT_EQ(Execute(expression, u"Aa").size(), 2u);
    EXPECT_TRUE(expression.IgnoreCase());
    EXPECT_TRUE(expression.Global());
    EXPECT_EQ(expression.Pattern(), u"a");
}

struct ReplaceCase {
    const char* name;
    std::u16string pattern;
    bool global;
    std::u16string subject;
    std::u16string replacement;
    std::u16string expected;
    friend void PrintTo(const ReplaceCase& c, std::ostream* os) { *os << c.name; }
};

class RegExpReplaceTest : public testing::TestWithParam<ReplaceCase> {};

TEST_P(RegExpReplaceTest, ExpandsTheReplacement) {
    const ReplaceCase& c = GetParam();
    EXPECT_EQ(MakeRegExp(c.pattern, false, false, c.global)->Replace(c.subject, c.replacement),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegExpReplaceTest,
    testing::Values(
        ReplaceCase{"Groups", u"(\\w)(\\d)", true, u"a1-b2", u"$2$1", u"1a-2b"},
        ReplaceCase{"WholeMatchAndDollar", u"\\d", true, u"a1", u"[$&$$]", u"a[1$]"},
        ReplaceCase{"Contexts", u"-", true, u"ab-cd", u"($`|$')", u"ab(ab|cd)cd"},
        ReplaceCase{"FirstOnlyWithoutGlobal", u"\\d", false, u"1 2", u"x", u"x 2"},
        ReplaceCase{"EmptyMatchesBetweenCharacters", u"x*", true, u"abc", u"-", u"-a-b-c-"},
        // $12 with one group is group 1 and a '2'; $0, $9 and a lone $ stay as they are.
        ReplaceCase{"DollarFormsWithoutGroup", u"(a)", true, u"a", u"$12 $0 $9 $x $",
                    u"a2 $0 $9 $x $"},
        ReplaceCase{"AbsentGroupIsEmpty", u"(a)|(b)", true, u"b", u"<$1>", u"<>"},
        ReplaceCase{"NoMatchKeepsSubject", u"z", true, u"abc", u"x", u"abc"}),
    test::CaseName());

class EngineModeTest : public testing::TestWithParam<bool> {
protected:
    std::shared_ptr<RegExp> Make(std::u16string pattern) const {
        auto expression = MakeRegExp(std::move(pattern));
        expression->SetJit(GetParam());
        return expression;
    }
};

TEST_P(EngineModeTest, AGivenUpStartPassesOverItsLineOnly) {
    // The run of a's makes the second alternative backtrack exponentially, past the
    // engine's limit: x3, on that line, is lost; x4, on the next, is found.
    const std::u16string subject = u"x1 x2 " + std::u16string(60, u'a') + u"c x3\nx4";
    const auto expression = Make(u"x\\d|(?:a|aa)+b");
    EXPECT_EQ(Execute(*expression, subject),
              (std::vector<Found>{{u"x1", 0}, {u"x2", 3}, {u"x4", 71}}));
    EXPECT_TRUE(expression->Execute(subject)->Complete());

    // Given up on the last line, the search ends there.
    EXPECT_EQ(Execute(*expression, u"x1 " + std::u16string(60, u'a') + u"c x2"),
              (std::vector<Found>{{u"x1", 0}}));
}

TEST_P(EngineModeTest, DeepBacktrackingIsNotGivenUp) {
    // Every repetition leaves a way back, far more than the JIT's first small stack holds.
    const std::u16string subject = std::u16string(20'000, u'x') + u"z";
    EXPECT_EQ(Execute(*Make(u"(x|y)*z"), subject), (std::vector<Found>{{subject, 0}}));
}

TEST_P(EngineModeTest, TheTimeLimitEndsTheSearchAndSaysSo) {
    const auto expression = Make(u"x\\d");
    expression->SetTimeLimit(std::chrono::milliseconds(0));
    const auto matches = expression->Execute(u"x1 x2");
    ASSERT_NE(matches, nullptr);
    EXPECT_EQ(matches->Count(), 0);
    EXPECT_FALSE(matches->Complete());

    expression->SetTimeLimit(RegExp::kDefaultTimeLimit);
    EXPECT_TRUE(expression->Execute(u"x1 x2")->Complete());
    EXPECT_TRUE(expression->Execute(u"")->Complete());
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineModeTest, test::kEngineModes, test::EngineModeName);

// Matches and submatch collections come only from a collection, so none can stand for a
// match that does not exist.
static_assert(!std::is_constructible_v<MatchCollection, std::shared_ptr<const MatchResults>>);
static_assert(!std::is_constructible_v<Match, std::shared_ptr<const MatchResults>, std::int32_t>);
static_assert(
    !std::is_constructible_v<SubMatches, std::shared_ptr<const MatchResults>, std::int32_t>);

}  // namespace
}  // namespace kavuro
