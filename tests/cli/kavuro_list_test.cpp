// kavuro-list as a script meets it: a child process against the loopback playlist
// service, judged by its output, its standard error and its exit code.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/child_process.h"
#include "support/case_name.h"
#include "support/loopback_http_server.h"
#include "support/playlist_answer.h"
#include "support/temp_folder.h"
#include "text/gbk.h"

namespace kavuro {
namespace {

namespace fs = std::filesystem;
using test::ChildProcess;
using test::ChildResult;

constexpr std::string_view kPlaylistTarget = "/fcg-bin/cgi_playlist_xml.fcg?uin=";
const std::string kDone = "获取完成!!空间音乐总数:";

class KavuroListTest : public testing::Test {
protected:
    void SetUp() override {
        ::signal(SIGPIPE, SIG_IGN);
        test::KeepProxiesAway();
        server.SetAnswer(std::string(kPlaylistTarget) + "111",
                         test::Status(200, test::PlaylistAnswer(test::ThreeSongs())));
        server.SetAnswer(std::string(kPlaylistTarget) + "222",
                         test::Status(200, test::PlaylistAnswer({{"s", "n", "http://x/4"}})));
        server.SetAnswer(std::string(kPlaylistTarget) + "404", test::Status(404, "gone"));
        server.SetAnswer(std::string(kPlaylistTarget) + "000",
                         test::Status(200, test::PlaylistAnswer({})));
    }

    std::string Host() const { return "127.0.0.1:" + std::to_string(server.Port()); }

    ChildResult Run(std::vector<std::string> arguments, std::string input = {}) {
        arguments.insert(arguments.begin(), {"--host", Host()});
        ChildProcess child(KAVURO_LIST, arguments, std::move(input));
        EXPECT_TRUE(child.Started());
        return child.Wait();
    }

    static std::string Read(const std::filesystem::path& path) { return test::ReadWholeFile(path); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    test::LoopbackHttpServer server;
    test::TempFolder tempFolder;
    const std::filesystem::path folder = tempFolder.Path();
};

const std::string kThreeSongsTxt = "稻香-周杰伦\n红豆-王菲乚\n一路向北-\n";

struct FormatCase {
    std::string name;
    std::vector<std::string> arguments;
    std::string out;
    friend void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }
};

class FormatTest : public KavuroListTest, public testing::WithParamInterface<FormatCase> {};

TEST_P(FormatTest, WritesTheListInTheFormatAsked) {
    const ChildResult result = Run(GetParam().arguments);
    EXPECT_EQ(result.out, GetParam().out);
    EXPECT_EQ(result.err, "QQ:111" + kDone + "3\n");
    EXPECT_EQ(result.exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FormatTest,
    testing::Values(
        FormatCase{"TxtByDefault", {"111"}, kThreeSongsTxt},
        FormatCase{"Txt", {"-f", "txt", "111"}, kThreeSongsTxt},
        FormatCase{"M3u8",
                   {"--format=m3u8", "111"},
                   "#EXTM3U\n#EXTINF:-1,稻香-周杰伦\nhttp://music.example/1.mp3\n"
                   "#EXTINF:-1,红豆-王菲乚\nhttp://music.example/2.wma?a=1&b=2\n"
                   "#EXTINF:-1,一路向北-\nhttp://music.example/3.mp3\n"},
        FormatCase{
            "Csv",
            {"-f", "csv", "111"},
            "\xEF\xBB\xBFQQ,歌曲名/歌手,歌曲地址\r\n111,稻香-周杰伦,http://music.example/1.mp3\r\n"
            "111,红豆-王菲乚,http://music.example/2.wma?a=1&b=2\r\n"
            "111,一路向北-,http://music.example/3.mp3\r\n"},
        FormatCase{"Json",
                   {"-f", "json", "111"},
                   "{\n  \"songs\": [\n"
                   "    {\"qq\": \"111\", \"title\": \"稻香-周杰伦\", \"address\": "
                   "\"http://music.example/1.mp3\"},\n"
                   "    {\"qq\": \"111\", \"title\": \"红豆-王菲乚\", \"address\": "
                   "\"http://music.example/2.wma?a=1&b=2\"},\n"
                   "    {\"qq\": \"111\", \"title\": \"一路向北-\", \"address\": "
                   "\"http://music.example/3.mp3\"}\n"
                   "  ],\n  \"numbers\": [\n"
                   "    {\"qq\": \"111\", \"status\": \"QQ:111获取完成!!空间音乐总数:3\", "
                   "\"listed\": true}\n  ]\n}\n"}),
    test::CaseName());

TEST_F(KavuroListTest, ABatchGoesOnPastAFailureAndSaysSoInItsExitCode) {
    const ChildResult result = Run({"111", "404", "222"});
    EXPECT_EQ(result.out, kThreeSongsTxt + "n-s\n");
    EXPECT_EQ(
        result.err,
        "[1/3] QQ:111" + kDone +
            "3\n[2/3] QQ:404获取失败!!服务器返回:404 (the server answered 404)\n[3/3] QQ:222" +
            kDone + "1\n");
    EXPECT_EQ(result.exitCode, 1);
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].rfind("GET /fcg-bin/cgi_playlist_xml.fcg?uin=111 HTTP/1.0\r\n", 0), 0u);
}

TEST_F(KavuroListTest, AnEmptyPlaylistCountsAsListed) {
    const ChildResult result = Run({"-f", "m3u8", "000"});
    EXPECT_EQ(result.out, "#EXTM3U\n");
    EXPECT_EQ(result.err, "QQ:000" + kDone + "0\n");
    EXPECT_EQ(result.exitCode, 0);
}

TEST_F(KavuroListTest, AServiceThatCannotBeReachedFails) {
    test::RefusingPort refusing;
    ChildProcess child(KAVURO_LIST,
                       {"--host", "127.0.0.1:" + std::to_string(refusing.Port()), "111"});
    const ChildResult result = child.Wait();
    EXPECT_EQ(result.out, "");
    EXPECT_THAT(result.err,
                testing::StartsWith("QQ:111获取失败!!无法连接服务器 (no answer from the "
                                    "server: "));
    EXPECT_THAT(result.err, testing::EndsWith(")\n"));
    EXPECT_EQ(result.exitCode, 1);
}

TEST_F(KavuroListTest, NumbersComeFromStandardInputOneALine) {
    const ChildResult result = Run({"-f", "json"}, "111\r\n\n  222 \n");
    EXPECT_NE(result.out.find("\"qq\": \"222\", \"status\""), std::string::npos);
    EXPECT_EQ(result.err, "[1/2] QQ:111" + kDone + "3\n[2/2] QQ:222" + kDone + "1\n");
    EXPECT_EQ(result.exitCode, 0);
}

TEST_F(KavuroListTest, WritesTheFileNamedAndItsExtensionPicksTheFormat) {
    const fs::path path = folder / "list.m3u8";
    std::ofstream(path) << "old";
    const ChildResult result = Run({"-o", path.string(), "222"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Read(path), "#EXTM3U\n#EXTINF:-1,n-s\nhttp://x/4\n");
    EXPECT_EQ(Names(), std::vector<std::string>{"list.m3u8"});
}

struct UsageCase {
    std::string name;
    std::vector<std::string> arguments;
    std::string err;
    friend void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }
};

class UsageTest : public KavuroListTest, public testing::WithParamInterface<UsageCase> {};

TEST_P(UsageTest, RefusesWithOneLineAndWritesNothing) {
    // FOLDER stands for the test's own folder.
    const auto inFolder = [&](std::string text) {
        if (const std::size_t at = text.find("FOLDER"); at != std::string::npos) {
            text.replace(at, 6, folder.string());
        }
        return text;
    };
    std::vector<std::string> arguments;
    for (const std::string& argument : GetParam().arguments) {
        arguments.push_back(inFolder(argument));
    }
    const ChildResult result = Run(arguments);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "kavuro-list: " + inFolder(GetParam().err) + "\n");
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(Names().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsageTest,
    testing::Values(
        UsageCase{"UnknownFormat",
                  {"-f", "xml", "1"},
                  "unknown format 'xml' (txt, csv, m3u8 or json) (see kavuro-list --help)"},
        UsageCase{"UnknownOption",
                  {"--colour", "1"},
                  "unknown option '--colour' (see kavuro-list --help)"},
        UsageCase{
            "MissingValue", {"1", "-o"}, "option '-o' needs a value (see kavuro-list --help)"},
        UsageCase{"BadHost",
                  {"--host", "a/b", "1"},
                  "unusable host 'a/b' (HOST or HOST:PORT) (see kavuro-list --help)"},
        UsageCase{"NoNumberOnStandardInput", {}, "no QQ number given (see kavuro-list --help)"},
        UsageCase{
            "OutputIsAFolder", {"-o", "FOLDER", "111"}, "cannot write FOLDER: Is a directory"},
        UsageCase{"MissingFolder",
                  {"-o", "FOLDER/missing/list.txt", "111"},
                  "cannot write FOLDER/missing/list.txt: No such file or directory"}),
    test::CaseName());

TEST_F(KavuroListTest, AnOutputUnderAFileIsRefusedBeforeAnyFetch) {
    std::ofstream(folder / "file") << "kept";
    const std::string path = (folder / "file" / "list.txt").string();
    const ChildResult result = Run({"-o", path, "111"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kavuro-list: cannot write " + path + ": Not a directory\n");
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(Read(folder / "file"), "kept");
}

TEST_F(KavuroListTest, HelpAndVersion) {
    for (const char* help : {"-h", "--help"}) {
        const ChildResult result = Run({help});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out.rfind("Usage: kavuro-list [-f txt|csv|m3u8|json] [-o FILE]", 0), 0u);
        EXPECT_EQ(result.err, "");
    }
    const ChildResult version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("kavuro-list ", 0), 0u);
    EXPECT_TRUE(server.Requests().empty());
}

// A service that never answers: the run is interrupted while its fetch waits.
TEST_F(KavuroListTest, AnInterruptedRunEndsAtOnceAndLeavesNoFile) {
    test::ScriptedAnswer stalling = test::Status(200, test::PlaylistAnswer(test::ThreeSongs()));
    stalling.stallAfter = 10;
    server.SetAnswer(std::string(kPlaylistTarget) + "999", stalling);
    for (const int signal : {SIGINT, SIGTERM}) {
        const fs::path path = folder / "list.csv";
        std::ofstream(path) << "old";
        const std::size_t before = server.Requests().size();
        ChildProcess child(KAVURO_LIST, {"--host", Host(), "-o", path.string(), "111", "999"});
        ASSERT_TRUE(server.WaitForRequests(before + 2, std::chrono::seconds(30)));
        child.Signal(signal);
        const ChildResult result = child.Wait();
        EXPECT_EQ(result.exitCode, 128 + signal);
        EXPECT_EQ(result.err,
                  "[1/2] QQ:111" + kDone + "3\nkavuro-list: interrupted, nothing written\n");
        EXPECT_EQ(Read(path), "old");
        EXPECT_EQ(Names(), std::vector<std::string>{"list.csv"});
    }
}

}  // namespace
}  // namespace kavuro
