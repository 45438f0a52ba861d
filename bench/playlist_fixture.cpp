#include "playlist_fixture.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "text/gbk.h"

namespace kavuro::bench {

namespace {

// Written in UTF-8 here for the reader; the answer carries them in GBK. Several are in
// traditional characters whose second GBK byte is '[' or ']' (沒 9B 5D, 擺 94 5B, 鬧 F4 5B,
// ...), some at the very end of the value, just before the CDATA's closing "]]>".
constexpr std::array<std::string_view, 16> kSingers = {
    "周杰伦", "王菲", "陈奕迅", "林俊杰", "邓紫棋", "张学友", "孙燕姿", "蔡依林",
    "五月天", "许嵩", "竇唯",   "刀郎",   "李宗盛", "Beyond", "羅大佑", "",
};
constexpr std::array<std::string_view, 24> kNames = {
    "稻香",   "红豆",     "十年",       "江南",       "泡沫",     "吻别",
    "遇见",   "日不落",   "倔强",       "清明雨上",   "沒有如果", "揮著翅膀的女孩",
    "擺渡人", "遊戲人間", "隱形的翅膀", "閉上眼睛",   "廬州月",   "郵差",
    "熱鬧",   "嶽麓山下", "一覽",       "Love Story", "海阔天空", "綸巾",
};
constexpr std::array<std::string_view, 4> kVersions = {"", " (Live)", "（伴奏）", " - 单曲版"};

// A cheap, fixed sequence of pseudo-random numbers, so that every run makes the same songs.
std::uint64_t Mix(std::uint64_t value) {
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

std::string Hex(std::uint64_t seed, std::size_t digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(digits);
    while (hex.size() < digits) {
        seed = Mix(seed);
        for (int nibble = 0; nibble < 16 && hex.size() < digits; ++nibble) {
            hex += kDigits[(seed >> (4 * nibble)) & 0xF];
        }
    }
    return hex;
}

// Mostly the short stream addresses of older lists; every fourth a signed address of a
// few hundred bytes; now and then one with Chinese in its path.
std::string Address(std::int32_t song, std::string_view utf8Name) {
    char text[96];
    if (song % 4 == 0) {
        std::snprintf(text, sizeof text, "http://isure.stream.qqmusic.qq.com/C400%s.m4a?guid=%010u",
                      Hex(song, 14).c_str(), static_cast<unsigned>(Mix(song) % 4'000'000'000u));
        return std::string(text) + "&vkey=" + Hex(~static_cast<std::uint64_t>(song), 112) +
               "&uin=0&fromtag=66";
    }
    if (song % 11 == 0) {
        return Utf8ToGbk(std::string("http://music.example.cn/下载/") + std::string(utf8Name) +
                         ".mp3");
    }
    std::snprintf(text, sizeof text, "http://stream%d.qqmusic.qq.com/%d.mp3", song % 20 + 1,
                  30'000'000 + song);
    return text;
}

}  // namespace

std::vector<test::Song> FixtureSongs(std::int32_t count) {
    std::vector<Text> singers;
    for (std::string_view singer : kSingers) {
        singers.push_back(Utf8ToGbk(singer));
    }
    std::vector<test::Song> songs;
    songs.reserve(count > 0 ? static_cast<std::size_t>(count) : 0);
    for (std::int32_t song = 0; song < count; ++song) {
        const std::uint64_t dice = Mix(static_cast<std::uint64_t>(song));
        const std::string_view name = kNames[dice % kNames.size()];
        const std::string_view version = kVersions[(dice >> 8) % 7 < 4 ? 0 : (dice >> 16) % 4];
        songs.push_back({singers[(dice >> 24) % singers.size()],
                         Utf8ToGbk(std::string(name) + std::string(version)), Address(song, name)});
    }
    return songs;
}

Text FixtureAnswer(std::int32_t count) {
    return test::PlaylistAnswer(FixtureSongs(count));
}

}  // namespace kavuro::bench
