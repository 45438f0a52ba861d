// Playlist answers for the benchmarks: made-up but realistic songs, the same for every
// run, so that figures from different runs and different programs are comparable.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "support/playlist_answer.h"
#include "text/text.h"

namespace kavuro::bench {

// The sizes every benchmark measures.
inline constexpr std::int32_t kSongCounts[] = {100, 500, 1'000, 10'000, 100'000};

// Where the fixture server answers for n songs: this target followed by n, as the
// service's address ends with the QQ number.
inline constexpr std::string_view kFixtureTarget = "/fcg-bin/cgi_playlist_xml.fcg?uin=";

// count songs in GBK: Chinese names and singers (some in traditional characters whose
// second byte is '[' or ']'), now and then no singer, and addresses from short to a few
// hundred bytes.
std::vector<test::Song> FixtureSongs(std::int32_t count);

// The service's answer listing FixtureSongs(count).
Text FixtureAnswer(std::int32_t count);

}  // namespace kavuro::bench
