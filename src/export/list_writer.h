// The list writer: a playlist as a file in txt, m3u8, csv or json. The window and
// kavuro-list both write through it, so the two never disagree. Rows come in as the list
// shows them, in GBK; every file is UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace kavuro {

enum class ListFormat { Txt, M3u8, Csv, Json };

// One row of the list: its two cells as the window shows them.
struct ListRow {
    Text nameAndSinger;
    Text address;
    Text qqNumber;  // the number it was fetched for; empty when not known
};

// How the fetch of one QQ number closed.
struct ListedNumber {
    Text qqNumber;
    Text statusText;  // the closing status text, as the window would show it
    bool listed = false;
};

struct ListToWrite {
    std::vector<ListRow> rows;
    std::vector<ListedNumber> numbers;  // in fetch order; empty when not known
};

// The whole file's bytes.
// - txt: the name-singer cell, one line each.
// - m3u8: "#EXTM3U", then per row "#EXTINF:-1," with the cell and the address on the next.
//   In both, a line break inside a cell becomes a space, so one row stays its lines.
// - csv: a byte-order mark, a header row, RFC 4180 quoting, CRLF line ends; a QQ column
//   leads when any row or number knows its QQ number. A cell a spreadsheet would run as a
//   formula gets a leading apostrophe so that it stays text.
// - json: {"songs":[{"qq","title","address"}],"numbers":[{"qq","status","listed"}]},
//   "qq" only where known.
std::string WriteList(const ListToWrite& list, ListFormat format);

// "txt", "m3u8", "csv", "json".
std::string_view FormatName(ListFormat format);
// The format of a name as FormatName gives it, case-insensitive; "m3u" counts as m3u8.
std::optional<ListFormat> FormatFromName(std::string_view name);
// The format a file name's extension names, if any.
std::optional<ListFormat> FormatFromFileName(std::string_view fileName);

}  // namespace kavuro
