#include "playlist/playlist_fetch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "support/case_name.h"
#include "support/loopback_http_server.h"
#include "support/playlist_answer.h"
#include "support/recording_window.h"
#include "text/gbk.h"

namespace kavuro {
namespace {

using test::PlaylistAnswer;
using test::RecordingWindow;
using test::ScriptedAnswer;
using test::Song;
using testing::HasSubstr;
using Rows = std::vector<RecordingWindow::Row>;
using namespace std::chrono_literals;

constexpr std::string_view kPath = "/fcg-bin/cgi_playlist_xml.fcg";

// Expectations are written as the user reads them and turned into GBK.
Text Gbk(std::string_view utf8) {
    return Utf8ToGbk(utf8);
}

ScriptedAnswer PlaylistOk(const Text& body) {
    ScriptedAnswer answer;
    answer.body = body;
    return answer;
}

class PlaylistFetchTest : public testing::Test {
protected:
    FetchOutcome Fetch(RecordingWindow& target, std::stop_token stop = {}) {
        return PlaylistFetch(target, matcher, prefix, std::move(stop), limits);
    }
    void Serve(const ScriptedAnswer& answer) { server.SetAnswer(std::string(kPath), answer); }
    // What the one request received carried after "uin=".
    std::string RequestedNumber() const {
        const std::vector<std::string> requests = server.Requests();
        EXPECT_EQ(requests.size(), 1u);
        if (requests.empty()) {
            return "<none>";
        }
        const std::string& head = requests.front();
        const std::size_t from = head.find("uin=") + 4;
        return head.substr(from, head.find(' ', from) - from);
    }

    test::LoopbackHttpServer server;
    std::string prefix = server.Address(std::string(kPath) + "?uin=");
    SharedMatcher matcher;
    PageReadLimits limits;
    RecordingWindow window;
};

TEST_F(PlaylistFetchTest, ThreeSongsFillTheListInOrderWithAStatusForEach) {
    Serve(PlaylistOk(PlaylistAnswer(test::ThreeSongs())));
    window.SetRows({{"old", "row"}});

    Fetch(window);

    EXPECT_EQ(RequestedNumber(), "1234567890");
    const std::vector<Text> expectedStatus = {
        Gbk("获取中.."),
        Gbk("稻香 － 周杰伦  地址:http://music.example/1.mp3"),
        Gbk("红豆 － 王菲") + "\x81\x5D" + Gbk("  地址:http://music.example/2.wma?a=1&b=2"),
        Gbk("一路向北 －   地址:http://music.example/3.mp3"),
        Gbk("QQ:1234567890获取完成!!空间音乐总数:3"),
    };
    EXPECT_EQ(window.StatusHistory(), expectedStatus);
    const Rows expectedRows = {
        {Gbk("稻香-周杰伦"), "http://music.example/1.mp3"},
        {Gbk("红豆-王菲") + "\x81\x5D", "http://music.example/2.wma?a=1&b=2"},
        {Gbk("一路向北-"), "http://music.example/3.mp3"},
    };
    EXPECT_EQ(window.Rows(), expectedRows);

    const std::vector<std::string> calls = window.Calls();
    const std::vector<std::string> firstSong = {"SetStatusText", "EditBoxText",   "DeleteAllRows",
                                                "InsertRow",     "SetStatusText", "SetCellText",
                                                "SetCellText"};
    ASSERT_GE(calls.size(), firstSong.size());
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 7), firstSong);
    EXPECT_EQ(calls.size(), 3u + 3 * 4 + 1);
}

struct AnswerCase {
    const char* name;
    Text body;
    Rows rows;
    friend void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }
};

class PlaylistAnswerTest : public PlaylistFetchTest,
                           public testing::WithParamInterface<AnswerCase> {};

TEST_P(PlaylistAnswerTest, ReplacesTheListWithTheSongsFound) {
    Serve(PlaylistOk(GetParam().body));
    window.SetRows({{"old", "row"}});

    Fetch(window);

    EXPECT_EQ(window.Rows(), GetParam().rows);
    EXPECT_EQ(window.StatusText(),
              Gbk("QQ:1234567890获取完成!!空间音乐总数:") + std::to_string(GetParam().rows.size()));
}

Text Upper(Text text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

const Text kRecordWithoutTrailingSpace =
    "<xsinger_name><![CDATA[s2 ]]></xsinger_name>\n"
    "<xsong_name><![CDATA[n2]]></xsong_name>\n"
    "<xsong_url><![CDATA[u2 ]]></xsong_url>\n";

INSTANTIATE_TEST_SUITE_P(
    Answers, PlaylistAnswerTest,
    testing::Values(
        AnswerCase{"CrLfLinesMatchNothing", PlaylistAnswer(test::ThreeSongs(), "\r\n"), {}},
        AnswerCase{"CapitalElementNames",
                   Upper(PlaylistAnswer({{"a", "b", "http://x/1"}})),
                   {{"B-A", "HTTP://X/1"}}},
        AnswerCase{
            "SingleSpaceContentIsEmpty", PlaylistAnswer({{"", "name", ""}}), {{"name-", ""}}},
        AnswerCase{"RecordWithoutTrailingSpaceIsSkipped",
                   PlaylistAnswer({{"s1", "n1", "u1"}}) + kRecordWithoutTrailingSpace +
                       PlaylistAnswer({{"s3", "n3", "u3"}}),
                   {{"n1-s1", "u1"}, {"n3-s3", "u3"}}},
        AnswerCase{"NoSongs", PlaylistAnswer({}), {}},
        // Not GBK: taken byte for byte all the same.
        AnswerCase{"Utf8TakenAsBytes",
                   PlaylistAnswer({{"\xE5\x91\xA8", "\xE7\xA8\xBB", "u"}}),
                   {{"\xE7\xA8\xBB-\xE5\x91\xA8", "u"}}},
        AnswerCase{"ZeroByteEndsTheAnswer",
                   PlaylistAnswer({{"s1", "n1", "u1"}}) + std::string(1, '\0') +
                       PlaylistAnswer({{"s2", "n2", "u2"}}),
                   {{"n1-s1", "u1"}}}),
    test::CaseName());

TEST_F(PlaylistFetchTest, EmptyAnswerKeepsTheListAndCountsZero) {
    Serve(PlaylistOk(""));
    window.SetRows({{"old", "row"}});

    Fetch(window);

    EXPECT_EQ(window.Rows(), (Rows{{"old", "row"}}));
    EXPECT_EQ(window.StatusText(), Gbk("QQ:1234567890获取完成!!空间音乐总数:0"));
    EXPECT_EQ(matcher.matcher.PatternText(), "");  // never run
}

struct BoxCase {
    const char* name;
    Text boxText;
    std::string requested;
    friend void PrintTo(const BoxCase& c, std::ostream* os) { *os << c.name; }
};

class BoxTextTest : public PlaylistFetchTest, public testing::WithParamInterface<BoxCase> {};

TEST_P(BoxTextTest, SendsTheTrimmedEscapedNumberAndShowsTheBoxAsRead) {
    Serve(PlaylistOk(PlaylistAnswer(test::ThreeSongs())));
    RecordingWindow box(GetParam().boxText);

    Fetch(box);

    EXPECT_EQ(RequestedNumber(), GetParam().requested);
    EXPECT_EQ(box.StatusText(), "QQ:" + GetParam().boxText + Gbk("获取完成!!空间音乐总数:3"));
}

INSTANTIATE_TEST_SUITE_P(Numbers, BoxTextTest,
                         testing::Values(BoxCase{"Plain", "12345", "12345"},
                                         BoxCase{"SpacesAround", " 12345 ", "12345"},
                                         BoxCase{"FullWidthSpaces",
                                                 "\xA1\xA1"
                                                 "12345\xA1\xA1",
                                                 "12345"},
                                         BoxCase{"Empty", "", ""},
                                         BoxCase{"Negative", "-12", "-12"},
                                         BoxCase{"PastedQuery", "1&x=2 #", "1%26x%3D2%20%23"},
                                         BoxCase{"PastedRequestLine", "1 HTTP/1.1\r\nX: y",
                                                 "1%20HTTP%2F1.1%0D%0AX%3A%20y"},
                                         BoxCase{"Chinese", "\xB5\xBE", "%B5%BE"},
                                         BoxCase{"Unreserved", "aZ0-._~", "aZ0-._~"}),
                         test::CaseName());

TEST_F(PlaylistFetchTest, ClosingStatusNamesTheNumberReadAtTheStart) {
    Serve(PlaylistOk(PlaylistAnswer(test::ThreeSongs())));
    // The user clicks into the box mid-fetch, which empties it.
    window.BeforeEachCall([&](const std::string& call) {
        if (call == "DeleteAllRows") {
            window.SetEditBoxText("");
        }
    });

    Fetch(window);

    EXPECT_EQ(window.StatusText(), Gbk("QQ:1234567890获取完成!!空间音乐总数:3"));
}

struct FailureCase {
    const char* name;
    std::function<ScriptedAnswer()> answer;
    std::string status;  // as read, after "QQ:1234567890"
    std::string reason;  // words the outcome's reason holds
    std::size_t maxBodyBytes = 32u << 20;
    friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
};

class FetchFailureTest : public PlaylistFetchTest,
                         public testing::WithParamInterface<FailureCase> {};

TEST_P(FetchFailureTest, ReportsTheFailureAndLeavesListAndMatcherAlone) {
    limits = {.connectTimeout = 2s,
              .stallTime = 300ms,
              .totalTime = 1s,
              .maxBodyBytes = GetParam().maxBodyBytes};
    Serve(GetParam().answer());
    window.SetRows({{"old", "row"}});

    const FetchOutcome outcome = Fetch(window);

    EXPECT_EQ(window.StatusText(), Gbk("QQ:1234567890" + GetParam().status));
    EXPECT_EQ(window.Rows(), (Rows{{"old", "row"}}));
    EXPECT_EQ(matcher.matcher.PatternText(), "");
    EXPECT_EQ(outcome.kind, FetchOutcome::Kind::Failed);
    EXPECT_THAT(outcome.reason, HasSubstr(GetParam().reason));
}

ScriptedAnswer WithStatus(std::string statusLine, Text body) {
    ScriptedAnswer answer;
    answer.statusLine = std::move(statusLine);
    answer.body = std::move(body);
    return answer;
}

ScriptedAnswer ClosedBeforeAnyByte() {
    ScriptedAnswer answer;
    answer.closeAfter = 0;
    return answer;
}

const Text kThreeSongs = PlaylistAnswer(test::ThreeSongs());
// Where the third song's record begins: the first two are whole before it.
const std::size_t kThirdSong = kThreeSongs.find("<song>", kThreeSongs.find("2.wma"));

// The three songs' answer, its connection closed or stalled after the second song.
ScriptedAnswer ThreeSongsCutAfterTwo(bool stall) {
    ScriptedAnswer answer = PlaylistOk(kThreeSongs);
    (stall ? answer.stallAfter : answer.closeAfter) = answer.HeadSize() + kThirdSong;
    return answer;
}

ScriptedAnswer RawReply(std::string bytes) {
    ScriptedAnswer answer;
    answer.raw = std::move(bytes);
    return answer;
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FetchFailureTest,
    testing::Values(
        FailureCase{"NotFound",
                    [] { return WithStatus("HTTP/1.0 404 Not Found", "<html>gone</html>"); },
                    "获取失败!!服务器返回:404", "the server answered 404"},
        // A failing status is a failure even when its body holds songs.
        FailureCase{"ServerError", [] { return WithStatus("HTTP/1.0 500 Oops", kThreeSongs); },
                    "获取失败!!服务器返回:500", "the server answered 500"},
        FailureCase{"NoStatusLine", ClosedBeforeAnyByte, "获取失败!!无法连接服务器",
                    "no answer from the server: Empty reply from server"},
        // Songs that arrived whole before the cut are not listed as if they were all.
        FailureCase{"ClosedBeforeTheDeclaredLength", [] { return ThreeSongsCutAfterTwo(false); },
                    "获取失败!!回答不完整", "incomplete: the connection closed after"},
        FailureCase{"Stalled", [] { return ThreeSongsCutAfterTwo(true); }, "获取失败!!回答不完整",
                    "incomplete: nothing arrived for 300 ms"},
        FailureCase{"TotalTimeRanOut",
                    [] {
                        ScriptedAnswer answer = PlaylistOk(kThreeSongs);
                        answer.chunkBytes = 1;
                        answer.chunkDelay = 20ms;
                        return answer;
                    },
                    "获取失败!!回答不完整", "incomplete: Operation timed out"},
        FailureCase{"BodyCap", [] { return PlaylistOk(kThreeSongs); }, "获取失败!!回答不完整",
                    "incomplete: the body reached the cap of", kThirdSong},
        // Bytes that are no HTTP at all, though they look like a record's line (from the
        // fetch fuzz target).
        FailureCase{"NotHttp", [] { return RawReply("ng_url><![CDATA["); },
                    "获取失败!!无法连接服务器", "no answer from the server"}),
    test::CaseName());

// Answers in which no song is found: only a playlist (a user without songs) clears the
// list; anything else is not taken for one.
struct NoSongCase {
    const char* name;
    Text body;
    bool isPlaylist;
    friend void PrintTo(const NoSongCase& c, std::ostream* os) { *os << c.name; }
};

class NoSongTest : public PlaylistFetchTest, public testing::WithParamInterface<NoSongCase> {};

TEST_P(NoSongTest, ClearsTheListOnlyForAPlaylist) {
    Serve(PlaylistOk(GetParam().body));
    window.SetRows({{"old", "row"}});

    const FetchOutcome outcome = Fetch(window);

    if (GetParam().isPlaylist) {
        EXPECT_EQ(window.StatusText(), Gbk("QQ:1234567890获取完成!!空间音乐总数:0"));
        EXPECT_EQ(window.Rows(), Rows{});
        EXPECT_EQ(outcome.kind, FetchOutcome::Kind::Listed);
    } else {
        EXPECT_EQ(window.StatusText(), Gbk("QQ:1234567890获取失败!!无法识别的回答"));
        EXPECT_EQ(window.Rows(), (Rows{{"old", "row"}}));
        EXPECT_EQ(outcome.kind, FetchOutcome::Kind::Failed);
        EXPECT_EQ(outcome.reason, "the answer is not a playlist");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, NoSongTest,
    testing::Values(
        NoSongCase{"PlaylistWithoutSongs", PlaylistAnswer({}), true},
        NoSongCase{"RecordsThatDoNotFit", PlaylistAnswer(test::ThreeSongs(), "\r\n"), true},
        NoSongCase{"PlaylistMarkInCapitals", "<PlayList>\n</PlayList>\n", true},
        NoSongCase{"MarkAfterChineseText", Gbk("歌单<xmusicnum><![CDATA[0 ]]></xmusicnum>"), true},
        NoSongCase{"SongCountOnly", "<qqmusic><XMUSICNUM><![CDATA[0 ]]></XMUSICNUM></qqmusic>",
                   true},
        NoSongCase{"LoginPage",
                   Gbk("<html><head><title>登录</title></head><body>请先登录</body></html>"),
                   false},
        NoSongCase{"ErrorServedAsSuccess", "{\"code\":-1,\"msg\":\"system busy\"}", false},
        NoSongCase{"ChangedFormat", "<qqmusic><songs><item name=\"x\"/></songs></qqmusic>", false},
        NoSongCase{"SongCountWithoutItsTag", "xmusicnum playlist", false}),
    test::CaseName());

TEST_F(PlaylistFetchTest, RefusedConnectionIsAFailureNotAnEmptyList) {
    const test::RefusingPort refusing;
    prefix = "http://127.0.0.1:" + std::to_string(refusing.Port()) + std::string(kPath) + "?uin=";
    window.SetRows({{"old", "row"}});

    const FetchOutcome outcome = Fetch(window);

    EXPECT_THAT(outcome.reason, HasSubstr("no answer from the server: Failed to connect"));
    EXPECT_EQ(window.StatusText(), Gbk("QQ:1234567890获取失败!!无法连接服务器"));
    EXPECT_EQ(window.Rows(), (Rows{{"old", "row"}}));
}

// Two songs arrive whole, the third never does: listing two would look like a whole list.
TEST_F(PlaylistFetchTest, BodyCutShortKeepsTheListAndSaysSo) {
    Serve(ThreeSongsCutAfterTwo(false));
    window.SetRows({{"old", "row"}});

    Fetch(window);

    EXPECT_EQ(window.Rows(), (Rows{{"old", "row"}}));
    EXPECT_EQ(window.StatusHistory(),
              (std::vector<Text>{Gbk("获取中.."), Gbk("QQ:1234567890获取失败!!回答不完整")}));
}

// The connection stays open after the whole answer: the list is filled about a second
// later (the stall limit here is far longer), not when the server lets go.
TEST_F(PlaylistFetchTest, ServerHoldingTheConnectionOpenAfterAWholeAnswer) {
    limits.stallTime = 8s;
    ScriptedAnswer answer = PlaylistOk(kThreeSongs);
    answer.stallAfter = answer.Reply().size();
    Serve(answer);

    const FetchOutcome outcome = Fetch(window);

    EXPECT_EQ(outcome.kind, FetchOutcome::Kind::Listed);
    EXPECT_EQ(window.Rows().size(), 3u);
    EXPECT_EQ(window.StatusText(), Gbk("QQ:1234567890获取完成!!空间音乐总数:3"));
}

// The service escapes characters in names; the address is used as it came.
TEST_F(PlaylistFetchTest, NamesAreReadWithTheirCharacterReferences) {
    Serve(PlaylistOk(PlaylistAnswer({
        {"Peter&amp;Paul", "The&#32;Rose", "http://music.example/r.mp3?a=1&amp;b=&#50;"},
        {"&#x5468;&#26480;&#20262;", "There You&#39;ll Be", "http://music.example/y.mp3"},
        {"&#x1F600;&nbsp;", "&lt;&gt;&quot;&apos;", "u"},
    })));

    Fetch(window);

    const Rows expectedRows = {
        {"The Rose-Peter&Paul", "http://music.example/r.mp3?a=1&amp;b=&#50;"},
        {Gbk("There You'll Be-周杰伦"), "http://music.example/y.mp3"},
        {"<>\"'-&#x1F600;&nbsp;", "u"},
    };
    EXPECT_EQ(window.Rows(), expectedRows);
    const std::vector<Text> history = window.StatusHistory();
    ASSERT_EQ(history.size(), 5u);
    EXPECT_EQ(history[1],
              Gbk("The Rose － Peter&Paul  地址:http://music.example/r.mp3?a=1&amp;b=&#50;"));
    EXPECT_EQ(history[2], Gbk("There You'll Be － 周杰伦  地址:http://music.example/y.mp3"));
    EXPECT_EQ(history[3], Gbk("<>\"' － &#x1F600;&nbsp;  地址:u"));
}

TEST_F(PlaylistFetchTest, AnswerTheMatcherCannotFinishInTimeIsIncomplete) {
    Serve(PlaylistOk(PlaylistAnswer(test::ThreeSongs())));
    window.SetRows({{"old", "row"}});
    matcher.matcher.SetTimeLimit(std::chrono::milliseconds(0));

    const FetchOutcome outcome = PlaylistFetch(window, matcher, prefix, {}, limits);

    EXPECT_EQ(outcome.kind, FetchOutcome::Kind::Failed);
    EXPECT_EQ(window.StatusText(), Gbk("QQ:1234567890获取失败!!回答不完整"));
    EXPECT_EQ(window.Rows(), (Rows{{"old", "row"}}));
}

TEST_F(PlaylistFetchTest, CancelledWhileWaitingForTheServerWritesNothingMore) {
    ScriptedAnswer stalled = PlaylistOk(PlaylistAnswer(test::ThreeSongs()));
    stalled.stallAfter = 0;
    Serve(stalled);
    std::stop_source stop;

    std::thread worker([&] { Fetch(window, stop.get_token()); });
    ASSERT_TRUE(server.WaitForRequests(1, std::chrono::seconds(10)));
    const std::size_t callsBefore = window.Calls().size();
    stop.request_stop();
    worker.join();

    EXPECT_EQ(window.Calls().size(), callsBefore);
    EXPECT_EQ(window.StatusText(), Gbk("获取中.."));
}

TEST_F(PlaylistFetchTest, CancelledMidListWritesNothingMore) {
    Serve(PlaylistOk(PlaylistAnswer(test::ThreeSongs())));
    std::stop_source stop;
    int insertedRows = 0;
    window.BeforeEachCall([&](const std::string& call) {
        if (call == "InsertRow" && ++insertedRows == 2) {
            stop.request_stop();  // a new press, just as this call is being made
        }
    });

    Fetch(window, stop.get_token());

    // The call in flight at the press still lands here (the program's window drops it);
    // nothing after it is made.
    EXPECT_EQ(window.Calls().back(), "InsertRow");
    EXPECT_EQ(window.Rows().size(), 2u);
}

TEST_F(PlaylistFetchTest, TwoFetchesAtOnceEachGetTheirOwnSongs) {
    server.SetAnswer(std::string(kPath) + "?uin=1", PlaylistOk(PlaylistAnswer(test::ThreeSongs())));
    server.SetAnswer(std::string(kPath) + "?uin=2", PlaylistOk(PlaylistAnswer({{"s", "n", "u"}})));
    RecordingWindow first("1");
    RecordingWindow second("2");

    std::thread a([&] { Fetch(first); });
    std::thread b([&] { Fetch(second); });
    a.join();
    b.join();

    EXPECT_EQ(first.Rows().size(), 3u);
    EXPECT_EQ(second.Rows(), (Rows{{"n-s", "u"}}));
}

TEST_F(PlaylistFetchTest, TenThousandSongsArriveInOrder) {
    std::vector<Song> songs;
    for (int i = 0; i < 10'000; ++i) {
        const std::string n = std::to_string(i);
        songs.push_back({"singer" + n, "\xB8\xE8" + n, "http://music.example/" + n + ".mp3"});
    }
    Serve(PlaylistOk(PlaylistAnswer(songs)));

    Fetch(window);

    const Rows rows = window.Rows();
    ASSERT_EQ(rows.size(), songs.size());
    for (std::size_t i = 0; i < songs.size(); ++i) {
        ASSERT_EQ(rows[i][0], songs[i].name + "-" + songs[i].singer) << i;
        ASSERT_EQ(rows[i][1], songs[i].address) << i;
    }
    EXPECT_EQ(window.StatusText(), Gbk("QQ:1234567890获取完成!!空间音乐总数:10000"));
}

}  // namespace
}  // namespace kavuro
