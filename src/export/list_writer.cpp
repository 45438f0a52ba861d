#include "export/list_writer.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "text/gbk.h"

namespace kavuro {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kCsvHeaderName = "歌曲名/歌手";
constexpr std::string_view kCsvHeaderAddress = "歌曲地址";

// A line break inside a cell would start a new entry in a line-based file (an injected
// "#EXT" line in m3u8, say), so it becomes a space.
std::string OneLine(const Text& gbk) {
    std::string utf8 = GbkToUtf8(gbk);
    std::replace_if(
        utf8.begin(), utf8.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return utf8;
}

void AppendCsvCell(std::string& out, std::string_view utf8) {
    // A spreadsheet runs a cell starting with one of these as a formula.
    const bool formula =
        !utf8.empty() && std::string_view("=+-@\t\r").find(utf8.front()) != std::string_view::npos;
    const bool quoted = formula || utf8.find_first_of(",\"\r\n") != std::string_view::npos;
    if (quoted) {
        out += '"';
    }
    if (formula) {
        out += '\'';
    }
    for (const char c : utf8) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    if (quoted) {
        out += '"';
    }
}

void AppendJsonString(std::string& out, std::string_view utf8) {
    out += '"';
    for (const char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    std::array<char, 8> escaped{};
                    std::snprintf(escaped.data(), escaped.size(), "\\u%04X",
                                  static_cast<unsigned>(c));
                    out += escaped.data();
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

std::string WriteTxt(const ListToWrite& list) {
    std::string out;
    for (const ListRow& row : list.rows) {
        out += OneLine(row.nameAndSinger);
        out += '\n';
    }
    return out;
}

std::string WriteM3u8(const ListToWrite& list) {
    std::string out = "#EXTM3U\n";
    for (const ListRow& row : list.rows) {
        out += "#EXTINF:-1,";
        out += OneLine(row.nameAndSinger);
        out += '\n';
        out += OneLine(row.address);
        out += '\n';
    }
    return out;
}

std::string WriteCsv(const ListToWrite& list) {
    const bool withNumbers = !list.numbers.empty() ||
                             std::any_of(list.rows.begin(), list.rows.end(),
                                         [](const ListRow& row) { return !row.qqNumber.empty(); });
    std::string out(kUtf8ByteOrderMark);
    const auto appendRow = [&](std::string_view qq, std::string_view name,
                               std::string_view address) {
        if (withNumbers) {
            AppendCsvCell(out, qq);
            out += ',';
        }
        AppendCsvCell(out, name);
        out += ',';
        AppendCsvCell(out, address);
        out += "\r\n";
    };
    appendRow("QQ", kCsvHeaderName, kCsvHeaderAddress);
    for (const ListRow& row : list.rows) {
        appendRow(GbkToUtf8(row.qqNumber), GbkToUtf8(row.nameAndSinger), GbkToUtf8(row.address));
    }
    return out;
}

std::string WriteJson(const ListToWrite& list) {
    std::string out = "{\n  \"songs\": [";
    const char* separator = "\n    ";
    for (const ListRow& row : list.rows) {
        out += separator;
        separator = ",\n    ";
        out += '{';
        if (!row.qqNumber.empty()) {
            out += "\"qq\": ";
            AppendJsonString(out, GbkToUtf8(row.qqNumber));
            out += ", ";
        }
        out += "\"title\": ";
        AppendJsonString(out, GbkToUtf8(row.nameAndSinger));
        out += ", \"address\": ";
        AppendJsonString(out, GbkToUtf8(row.address));
        out += '}';
    }
    out += list.rows.empty() ? "],\n" : "\n  ],\n";
    out += "  \"numbers\": [";
    separator = "\n    ";
    for (const ListedNumber& number : list.numbers) {
        out += separator;
        separator = ",\n    ";
        out += "{\"qq\": ";
        AppendJsonString(out, GbkToUtf8(number.qqNumber));
        out += ", \"status\": ";
        AppendJsonString(out, GbkToUtf8(number.statusText));
        out += ", \"listed\": ";
        out += number.listed ? "true" : "false";
        out += '}';
    }
    out += list.numbers.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string WriteList(const ListToWrite& list, ListFormat format) {
    switch (format) {
        case ListFormat::Txt:
            return WriteTxt(list);
        case ListFormat::M3u8:
            return WriteM3u8(list);
        case ListFormat::Csv:
            return WriteCsv(list);
        case ListFormat::Json:
            return WriteJson(list);
    }
    return {};
}

std::string_view FormatName(ListFormat format) {
    switch (format) {
        case ListFormat::Txt:
            return "txt";
        case ListFormat::M3u8:
            return "m3u8";
        case ListFormat::Csv:
            return "csv";
        case ListFormat::Json:
            return "json";
    }
    return {};
}

std::optional<ListFormat> FormatFromName(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(), AsciiLower);
    for (const ListFormat format :
         {ListFormat::Txt, ListFormat::M3u8, ListFormat::Csv, ListFormat::Json}) {
        if (lower == FormatName(format)) {
            return format;
        }
    }
    if (lower == "m3u") {
        return ListFormat::M3u8;
    }
    return std::nullopt;
}

std::optional<ListFormat> FormatFromFileName(std::string_view fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    const std::string_view base =
        slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    const std::size_t dot = base.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0) {
        return std::nullopt;
    }
    return FormatFromName(base.substr(dot + 1));
}

}  // namespace kavuro
