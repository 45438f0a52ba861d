// Playlist answers as the service sends them, in GBK, for tests and benchmarks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace kavuro::test {

struct Song {
    Text singer;
    Text name;
    Text address;
};

// One element with its value in CDATA. The service ends every CDATA content with one
// space, which is not part of the value.
inline Text CdataElement(std::string_view name, std::string_view value) {
    Text element;
    element.reserve(2 * name.size() + value.size() + 20);
    element.append("<").append(name).append("><![CDATA[").append(value).append(" ]]></");
    element.append(name).append(">");
    return element;
}

// One song's record, every field on its own line. lineEnd lets a test break the format
// on purpose.
inline Text PlaylistRecord(const Song& song, std::string_view lineEnd = "\n") {
    Text record;
    record.reserve(song.singer.size() + song.name.size() + song.address.size() + 400);
    record.append("<song>").append(lineEnd);
    const auto field = [&](std::string_view name, std::string_view value) {
        record.append(CdataElement(name, value)).append(lineEnd);
    };
    field("xqusic_mid", "");
    field("xqusic_id", "0");
    field("xctype", "3");
    field("xexpire_time", "");
    field("xdesc", "");
    field("xsinger_name", song.singer);
    field("xsong_name", song.name);
    field("xsong_url", song.address);
    field("xsong_size", "0");
    field("xsong_playtime", "0");
    record.append("</song>").append(lineEnd);
    return record;
}

inline Text PlaylistAnswer(const std::vector<Song>& songs, std::string_view lineEnd = "\n") {
    Text answer = "<?xml version=\"1.0\" encoding=\"gb2312\"?>";
    answer.append(lineEnd).append("<qqmusic>").append(lineEnd);
    answer.append(CdataElement("curtime", "1733900000")).append(lineEnd);
    answer.append(CdataElement("issmarter", "0")).append(lineEnd);
    answer.append(CdataElement("xmusicnum", std::to_string(songs.size()))).append(lineEnd);
    answer.append("<playlist>").append(lineEnd);
    for (const Song& song : songs) {
        answer += PlaylistRecord(song, lineEnd);
    }
    answer.append("</playlist>").append(lineEnd);
    answer.append("</qqmusic>").append(lineEnd);
    return answer;
}

// Three well-known songs in GBK: 周杰伦 稻香, 王菲 红豆 (with a ']' trail byte in the
// singer), and an empty singer.
inline std::vector<Song> ThreeSongs() {
    return {
        {"\xD6\xDC\xBD\xDC\xC2\xD7", "\xB5\xBE\xCF\xE3", "http://music.example/1.mp3"},
        {"\xCD\xF5\xB7\xC6\x81\x5D", "\xBA\xEC\xB6\xB9", "http://music.example/2.wma?a=1&b=2"},
        {"", "\xD2\xBB\xC2\xB7\xCF\xF2\xB1\xB1", "http://music.example/3.mp3"},
    };
}

}  // namespace kavuro::test
