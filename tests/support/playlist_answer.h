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

// One song's record. The service ends every CDATA content with one space, which is not
// part of the value; lineEnd lets a test break the format on purpose.
inline Text PlaylistRecord(const Song& song, std::string_view lineEnd = "\n") {
    Text record;
    record.reserve(song.singer.size() + song.name.size() + song.address.size() + 160);
    record.append("<song>").append(lineEnd);
    record.append("<xsinger_name><![CDATA[").append(song.singer).append(" ]]></xsinger_name>");
    record.append(lineEnd);
    record.append("<xsong_name><![CDATA[").append(song.name).append(" ]]></xsong_name>");
    record.append(lineEnd);
    record.append("<xsong_url><![CDATA[").append(song.address).append(" ]]></xsong_url>");
    record.append(lineEnd).append("</song>").append(lineEnd);
    return record;
}

inline Text PlaylistAnswer(const std::vector<Song>& songs, std::string_view lineEnd = "\n") {
    Text answer = "<?xml version=\"1.0\" encoding=\"GB2312\"?>";
    answer.append(lineEnd).append("<playlist>").append(lineEnd);
    for (const Song& song : songs) {
        answer += PlaylistRecord(song, lineEnd);
    }
    answer.append("</playlist>").append(lineEnd);
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
