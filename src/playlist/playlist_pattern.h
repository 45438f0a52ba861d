// The regular expression that finds the songs of a playlist answer: three lines per song,
// singer, song name and address, each value a CDATA content less its last (white-space)
// character. Groups 1, 2 and 3 are the singer, the song name and the address.
#pragma once

#include <string_view>

namespace kavuro {

// The three lines are joined by bare line feeds, so a record with CRLF lines does not
// match. The singer's line is matched from "[CDATA[" on, the address's up to "</xsong_".
inline constexpr std::string_view kPlaylistPattern =
    "\\[CDATA\\[(.*?)\\s\\]\\]></xsinger_name>\n"
    "<xsong_name><!\\[CDATA\\[(.*?)\\s\\]\\]></xsong_name>\n"
    "<xsong_url><!\\[CDATA\\[(.*?)\\s\\]\\]></xsong_";
static_assert(kPlaylistPattern.size() == 128);

}  // namespace kavuro
