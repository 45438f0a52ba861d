#include "match/regex_matcher.h"

#include <gtest/gtest.h>

#include "match/engine_mode.h"
#include "playlist/playlist_pattern.h"
#include "support/case_name.h"

#include <chrono>
#include <climits>
#include <string>
#include <thread>
#include <vector>

namespace kavuro {
namespace {

const Text kPattern(kPlaylistPattern);

// GBK: 周杰伦, 稻香, and 乚昜圽, whose second bytes are ']', '[' and '\'.
const Text kJay = "\xD6\xDC\xBD\xDC\xC2\xD7";
const Text kRiceFragrance = "\xB5\xBE\xCF\xE3";
const Text kBracketTrails = "\x81\x5D\x95\x5B\x88\x5C";

struct Song {
    Text singer;
    Text name;
    Text url;
    friend bool operator==(const Song&, const Song&) = default;
    friend void PrintTo(const Song& s, std::ostream* os) {
        *os << testing::PrintToString(s.singer) << " / " << testing::PrintToString(s.name) << " / "
            << testing::PrintToString(s.url);
    }
};

// One record as the service writes it: each CDATA content is the value and one space.
Text Record(const Song& song, const char* lineEnd = "\n") {
    return "<xsinger_name><![CDATA[" + song.singer + " ]]></xsinger_name>" + lineEnd +
           "<xsong_name><![CDATA[" + song.name + " ]]></xsong_name>" + lineEnd +
           "<xsong_url><![CDATA[" + song.url + " ]]></xsong_url>" + lineEnd;
}

Text Answer(const Text& records) {
    return "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<playlist>\n" + records + "</playlist>\n";
}

std::vector<Song> Songs(const RegexMatcher& matcher) {
    std::vector<Song> songs;
    for (std::int32_t i = 1; i <= matcher.MatchCount(); ++i) {
        songs.push_back(
            {matcher.SubmatchText(i, 1), matcher.SubmatchText(i, 2), matcher.SubmatchText(i, 3)});
    }
    return songs;
}

const Song kFirst{kJay, kRiceFragrance, "http://example/a.mp3"};
const Song kSecond{"Singer B", "Song B", "http://example/b.mp3"};
const Song kThird{"Singer C", kBracketTrails, "http://example/c.mp3?x=1&y=2"};

struct PlaylistCase {
    const char* name;
    Text subject;
    std::vector<Song> expected;
    friend void PrintTo(const PlaylistCase& c, std::ostream* os) { *os << c.name; }
};

class PlaylistPatternTest : public testing::TestWithParam<PlaylistCase> {};

TEST_P(PlaylistPatternTest, FindsEveryWellFormedRecordInOrder) {
    RegexMatcher matcher;
    EXPECT_TRUE(matcher.Run(kPattern, GetParam().subject));
    EXPECT_EQ(Songs(matcher), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlaylistPatternTest,
    testing::Values(
        PlaylistCase{"NoRecord", Answer(""), {}}, PlaylistCase{"EmptySubject", "", {}},
        PlaylistCase{"ThreeRecords",
                     Answer(Record(kFirst) + Record(kSecond) + Record(kThird)),
                     {kFirst, kSecond, kThird}},
        PlaylistCase{
            "CrlfRecordIsSkipped", Answer(Record(kFirst, "\r\n") + Record(kSecond)), {kSecond}},
        PlaylistCase{"LineFeedInsideAValueSkipsTheRecord",
                     Answer(Record({"two\nlines", "x", "y"}) + Record(kSecond)),
                     {kSecond}},
        PlaylistCase{"ValueWithoutTrailingSpaceSkipsTheRecord",
                     Answer("<xsinger_name><![CDATA[a]]></xsinger_name>\n"
                            "<xsong_name><![CDATA[b ]]></xsong_name>\n"
                            "<xsong_url><![CDATA[c ]]></xsong_url>\n" +
                            Record(kFirst)),
                     {kFirst}},
        PlaylistCase{
            "TwoTrailingSpacesLeaveOne", Answer(Record({"a ", "b  ", "c"})), {{"a ", "b  ", "c"}}},
        PlaylistCase{"OtherWhiteSpaceEndsAValue",
                     Answer("<xsinger_name><![CDATA[a\t]]></xsinger_name>\n"
                            "<xsong_name><![CDATA[b\r]]></xsong_name>\n"
                            "<xsong_url><![CDATA[c\v]]></xsong_url>\n"),
                     {{"a", "b", "c"}}},
        PlaylistCase{"CapitalsInElementNames",
                     Answer("<XSINGER_NAME><![cdata[A ]]></XSINGER_NAME>\n"
                            "<Xsong_Name><![CDATA[B ]]></Xsong_Name>\n"
                            "<XSONG_URL><![CData[C ]]></XSONG_URL>\n"),
                     {{"A", "B", "C"}}},
        // A trail byte that reads as ']' or '[' is half a character, never a bracket.
        PlaylistCase{"TrailBytesThatLookLikeBrackets",
                     Answer(Record({kBracketTrails + "]]>", "[" + kBracketTrails + "\\",
                                    kBracketTrails + kBracketTrails})),
                     {{kBracketTrails + "]]>", "[" + kBracketTrails + "\\",
                       kBracketTrails + kBracketTrails}}},
        // Unassigned pairs, stray bytes and other code pages come back as they were sent.
        PlaylistCase{"BytesThatAreNotGbkComeBackUnchanged",
                     Answer(Record({"\xFE\xFE\xA2\x5D", "\xE7\xA8\xBB", "\x80\xFF"})),
                     {{"\xFE\xFE\xA2\x5D", "\xE7\xA8\xBB", "\x80\xFF"}}},
        PlaylistCase{"FieldsOfAnotherRecordAreNotBorrowed",
                     Answer("<xsinger_name><![CDATA[lost ]]></xsinger_name>\n" + Record(kSecond)),
                     {kSecond}}),
    test::CaseName());

TEST(RegexMatcher, AnswersNothingBeforeAnyRun) {
    const RegexMatcher matcher;
    std::int32_t position = 7;
    EXPECT_EQ(matcher.MatchCount(), 0);
    EXPECT_EQ(matcher.SubmatchCount(), 0);
    EXPECT_EQ(matcher.MatchText(1, &position), "");
    EXPECT_EQ(position, -2);
    EXPECT_EQ(matcher.SubmatchText(1, 1), "");
    EXPECT_EQ(matcher.PatternText(), "");
    EXPECT_EQ(matcher.ReplaceText("x"), "");
}

TEST(RegexMatcher, OutOfRangeNumbersGiveEmptyText) {
    RegexMatcher matcher;
    ASSERT_TRUE(matcher.Run(kPattern, Answer(Record(kFirst) + Record(kSecond))));
    EXPECT_EQ(matcher.SubmatchCount(), 3);
    for (const auto& [match, group] : std::vector<std::pair<std::int32_t, std::int32_t>>{
             {1, 4}, {0, 1}, {3, 1}, {1, 0}, {-1, -1}, {INT_MIN, 1}, {1, INT_MIN}, {INT_MAX, 1}}) {
        std::int32_t position = 7;
        EXPECT_EQ(matcher.SubmatchText(match, group, &position), "") << match << "," << group;
        EXPECT_EQ(position, -2);
    }
    EXPECT_EQ(matcher.MatchText(0), "");
    EXPECT_EQ(matcher.MatchText(3), "");
}

TEST(RegexMatcher, ASecondRunForgetsTheFirst) {
    RegexMatcher matcher;
    ASSERT_TRUE(matcher.Run(kPattern, Answer(Record(kFirst) + Record(kSecond))));
    // The second run takes its subject over and reuses the first run's storage, which a
    // copy of the matcher still holds.
    const std::unique_ptr<RegexMatcher> copy = matcher.Copy();
    Text second = Answer(Record(kThird));
    ASSERT_TRUE(matcher.Run(kPattern, std::move(second)));
    EXPECT_EQ(Songs(matcher), std::vector<Song>{kThird});
    EXPECT_EQ(matcher.ReplaceText("x"), Answer("<xsinger_name><!xurl>\n"));
    EXPECT_EQ(Songs(*copy), (std::vector<Song>{kFirst, kSecond}));
    ASSERT_TRUE(matcher.Run(kPattern, Answer(Record(kSecond))));
    EXPECT_EQ(Songs(matcher), std::vector<Song>{kSecond});

    // A failed run forgets the earlier matches too.
    EXPECT_FALSE(matcher.Run("(", Answer(Record(kFirst))));
    EXPECT_EQ(matcher.MatchCount(), 0);
    EXPECT_EQ(matcher.SubmatchCount(), 0);
    EXPECT_EQ(matcher.SubmatchText(1, 1), "");
    EXPECT_EQ(matcher.PatternText(), "(");
    EXPECT_EQ(matcher.ReplaceText("x"), "");
}

TEST(RegexMatcher, OptionsDefaultToIgnoreCaseMultilineGlobal) {
    RegexMatcher matcher;
    ASSERT_TRUE(matcher.Run("^b", "B\nb"));
    EXPECT_EQ(matcher.MatchCount(), 2);
    ASSERT_TRUE(matcher.Run("^b", "B\nb", true));
    EXPECT_EQ(matcher.MatchCount(), 1);
    ASSERT_TRUE(matcher.Run("^b", "B\nb", false, false));
    EXPECT_EQ(matcher.MatchCount(), 1);
    ASSERT_TRUE(matcher.Run("^b", "B\nb", false, true, false));
    EXPECT_EQ(matcher.MatchCount(), 1);
    EXPECT_EQ(matcher.MatchText(1), "B");
}

TEST(RegexMatcher, PatternReplaceAndCopy) {
    RegexMatcher matcher;
    const Text pattern = "(\\d+)" + kRiceFragrance;  // 稻香 after digits
    ASSERT_TRUE(matcher.Run(pattern, "a1" + kRiceFragrance + "b22" + kRiceFragrance));
    EXPECT_EQ(matcher.PatternText(), pattern);
    EXPECT_EQ(matcher.ReplaceText("<$1" + kJay + ">"), "a<1" + kJay + ">b<22" + kJay + ">");

    const std::unique_ptr<RegexMatcher> copy = matcher.Copy();
    ASSERT_TRUE(matcher.Run("x", "y"));
    EXPECT_EQ(matcher.MatchCount(), 0);
    EXPECT_EQ(copy->MatchCount(), 2);
    EXPECT_EQ(copy->SubmatchText(2, 1), "22");
    EXPECT_EQ(copy->PatternText(), pattern);
    EXPECT_EQ(copy->ReplaceText("-"), "a-b-");

    matcher.Destroy();
    EXPECT_EQ(matcher.MatchCount(), 0);
    EXPECT_EQ(matcher.PatternText(), "");
    EXPECT_EQ(copy->MatchCount(), 2);
}

TEST(RegexMatcher, PositionIsTheExactByteOffset) {
    RegexMatcher matcher;
    std::int32_t position = 0;
    // 中中 before the match: two units but four bytes.
    ASSERT_TRUE(matcher.Run("b",
                            "a\xD6\xD0\xD6\xD0"
                            "b"));
    EXPECT_EQ(matcher.MatchText(1, &position), "b");
    EXPECT_EQ(position, 5);

    // An equal text (up to case) before the match is not taken for it.
    ASSERT_TRUE(matcher.Run("b", "Bb", true));
    EXPECT_EQ(matcher.MatchText(1, &position), "b");
    EXPECT_EQ(position, 1);
    ASSERT_TRUE(matcher.Run("(x)(a)", "a xa"));
    EXPECT_EQ(matcher.SubmatchText(1, 2, &position), "a");
    EXPECT_EQ(position, 3);

    ASSERT_TRUE(matcher.Run("(a)|(b)()", kJay + "b"));
    EXPECT_EQ(matcher.SubmatchText(1, 1, &position), "");
    EXPECT_EQ(position, -2);  // took no part
    EXPECT_EQ(matcher.SubmatchText(1, 3, &position), "");
    EXPECT_EQ(position, 7);  // took part, empty, after "b"
}

TEST(RegexMatcher, LongFieldsAndManySongsAreNotCut) {
    const Song longSong{kJay, Text(200'000, 'n'), "http://example/" + Text(300'000, 'u')};
    Text records = Record(longSong);
    for (int i = 0; i < 100'000; ++i) {
        records += Record({"Singer" + std::to_string(i), kRiceFragrance,
                           "http://example/" + std::to_string(i) + ".mp3"});
    }
    RegexMatcher matcher;
    ASSERT_TRUE(matcher.Run(kPattern, Answer(records)));
    ASSERT_EQ(matcher.MatchCount(), 100'001);
    EXPECT_EQ(matcher.SubmatchText(1, 2), longSong.name);
    EXPECT_EQ(matcher.SubmatchText(1, 3), longSong.url);
    EXPECT_EQ(matcher.SubmatchText(100'001, 1), "Singer99999");
    EXPECT_EQ(matcher.SubmatchText(100'001, 3), "http://example/99999.mp3");
}

// A line built to make a backtracking engine walk it again from every "[CDATA[": none
// of them closes a value, and it holds the pattern's last literal, so that no quick scan
// rules the line out.
Text HostileLine(std::size_t length) {
    Text line;
    while (line.size() < length) {
        line += "[CDATA[ ]]";
    }
    return line + "</xsong_\n";
}

class MatcherEngineTest : public testing::TestWithParam<bool> {
protected:
    MatcherEngineTest() { matcher.SetJit(GetParam()); }
    RegexMatcher matcher;
};

TEST_P(MatcherEngineTest, SongsAfterALineTheEngineGivesUpOnAreFound) {
    // Lines far longer than the engine walks from one start; the last has no line feed.
    const Text hostile = HostileLine(4u << 20);
    const Text answer = Answer(Record(kFirst) + hostile + Record(kSecond) + hostile +
                               Record(kThird) + hostile.substr(0, hostile.size() - 1));
    ASSERT_TRUE(matcher.Run(kPattern, answer));
    EXPECT_EQ(Songs(matcher), (std::vector<Song>{kFirst, kSecond, kThird}));
    EXPECT_TRUE(matcher.Complete());
}

TEST_P(MatcherEngineTest, AHostileAnswerEndsWithinTheTimeLimitAndSaysHowFarItGot) {
    // Lines short enough to be walked from every start in full. The interpreter would
    // take hours and is cut off by the time limit; the JIT gets past such lines at once
    // and lists the song after them.
    Text answer = Answer(Record(kFirst));
    const Text hostile = HostileLine(20'000);
    while (answer.size() < (8u << 20)) {
        answer += hostile;
    }
    answer += Record(kSecond);
    const bool jit = GetParam();
    if (!jit) {
        matcher.SetTimeLimit(std::chrono::milliseconds(300));
    }
    ASSERT_TRUE(matcher.Run(kPattern, answer));
    EXPECT_EQ(matcher.Complete(), jit);
    const std::vector<Song> expected =
        jit ? std::vector<Song>{kFirst, kSecond} : std::vector<Song>{kFirst};
    EXPECT_EQ(Songs(matcher), expected);

    // The next run starts afresh.
    matcher.SetTimeLimit(std::chrono::seconds(60));
    ASSERT_TRUE(matcher.Run(kPattern, Answer(Record(kSecond))));
    EXPECT_TRUE(matcher.Complete());
    EXPECT_EQ(Songs(matcher), std::vector<Song>{kSecond});
}

TEST_P(MatcherEngineTest, NoTimeLeftMeansNoMatchesAndIncomplete) {
    matcher.SetTimeLimit(std::chrono::milliseconds(0));
    ASSERT_TRUE(matcher.Run(kPattern, Answer(Record(kFirst))));
    EXPECT_EQ(matcher.MatchCount(), 0);
    EXPECT_FALSE(matcher.Complete());
}

INSTANTIATE_TEST_SUITE_P(Engines, MatcherEngineTest, test::kEngineModes, test::EngineModeName);

TEST(RegexMatcher, CompleteBeforeAnyRunAndAfterAFailedOne) {
    RegexMatcher matcher;
    EXPECT_TRUE(matcher.Complete());
    EXPECT_FALSE(matcher.Run("(", "x"));
    EXPECT_TRUE(matcher.Complete());
}

TEST(RegexMatcher, RunsAndIsReleasedOnOtherThreads) {
    RegexMatcher matcher;
    const Text answer = Answer(Record(kFirst) + Record(kSecond) + Record(kThird));
    std::thread([&] { ASSERT_TRUE(matcher.Run(kPattern, answer)); }).join();

    // A copy keeps the first run's engine objects while another thread runs the matcher
    // again and destroys it, which releases them there.
    const std::unique_ptr<RegexMatcher> copy = matcher.Copy();
    std::thread reader([&] {
        for (int i = 0; i < 50; ++i) {
            EXPECT_EQ(Songs(*copy), (std::vector<Song>{kFirst, kSecond, kThird}));
        }
    });
    std::thread([&] {
        ASSERT_TRUE(matcher.Run(kPattern, Answer(Record(kSecond))));
        EXPECT_EQ(Songs(matcher), std::vector<Song>{kSecond});
        matcher.Destroy();
    }).join();
    reader.join();
    EXPECT_EQ(matcher.MatchCount(), 0);
}

}  // namespace
}  // namespace kavuro
