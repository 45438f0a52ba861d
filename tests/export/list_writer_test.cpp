#include "export/list_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/case_name.h"

namespace kavuro {
namespace {

// 稻香-周杰伦, and 红豆-王菲 whose last character has ']' (0x5D) as its trail byte.
const Text kDaoXiang = "\xB5\xBE\xCF\xE3-\xD6\xDC\xBD\xDC\xC2\xD7";
const Text kHongDou = "\xBA\xEC\xB6\xB9-\xCD\xF5\xB7\xC6\x81\x5D";
const std::string kHongDouUtf8 = "红豆-王菲乚";

struct WriteCase {
    std::string name;
    ListToWrite list;
    ListFormat format;
    std::string expected;
    friend void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }
};

class WriteListTest : public testing::TestWithParam<WriteCase> {};

TEST_P(WriteListTest, WritesTheExactBytes) {
    EXPECT_EQ(WriteList(GetParam().list, GetParam().format), GetParam().expected);
}

const ListToWrite kTwoRows{{{kDaoXiang, "http://music.example/1.mp3", ""},
                            {kHongDou, "http://music.example/2.wma?a=1&b=2", ""}},
                           {}};
const std::string kBom = "\xEF\xBB\xBF";

INSTANTIATE_TEST_SUITE_P(
    Formats, WriteListTest,
    testing::Values(
        WriteCase{"TxtOneCellALine", kTwoRows, ListFormat::Txt,
                  "稻香-周杰伦\n" + kHongDouUtf8 + "\n"},
        WriteCase{"M3u8", kTwoRows, ListFormat::M3u8,
                  "#EXTM3U\n#EXTINF:-1,稻香-周杰伦\nhttp://music.example/1.mp3\n#EXTINF:-1," +
                      kHongDouUtf8 + "\nhttp://music.example/2.wma?a=1&b=2\n"},
        WriteCase{"CsvWithBomHeaderAndCrlf", kTwoRows, ListFormat::Csv,
                  kBom + "歌曲名/歌手,歌曲地址\r\n稻香-周杰伦,http://music.example/1.mp3\r\n" +
                      kHongDouUtf8 + ",http://music.example/2.wma?a=1&b=2\r\n"},
        WriteCase{"Json", kTwoRows, ListFormat::Json,
                  "{\n  \"songs\": [\n"
                  "    {\"title\": \"稻香-周杰伦\", \"address\": \"http://music.example/1.mp3\"},\n"
                  "    {\"title\": \"" +
                      kHongDouUtf8 +
                      "\", \"address\": \"http://music.example/2.wma?a=1&b=2\"}\n"
                      "  ],\n  \"numbers\": []\n}\n"},
        WriteCase{"EmptyTxt", {}, ListFormat::Txt, ""},
        WriteCase{"EmptyM3u8", {}, ListFormat::M3u8, "#EXTM3U\n"},
        WriteCase{"EmptyCsvKeepsItsHeader", {}, ListFormat::Csv, kBom + "歌曲名/歌手,歌曲地址\r\n"},
        WriteCase{"EmptyJson", {}, ListFormat::Json, "{\n  \"songs\": [],\n  \"numbers\": []\n}\n"},
        // A cell with a line break must not add an entry (or an #EXT line) of its own.
        WriteCase{"LineBreaksInCellsStayOnTheirLine",
                  {{{"a\r#EXTINF:-1,b", "http://x/\n#EXT", ""}}, {}},
                  ListFormat::M3u8,
                  "#EXTM3U\n#EXTINF:-1,a #EXTINF:-1,b\nhttp://x/ #EXT\n"},
        WriteCase{
            "CsvNumbersLeadWhenKnown",
            {{{kDaoXiang, "http://music.example/1.mp3", "12345"}},
             {{"12345", "QQ:12345\xBB\xF1\xC8\xA1\xCD\xEA\xB3\xC9!!", true},
              {"999", "QQ:999", false}}},
            ListFormat::Csv,
            kBom + "QQ,歌曲名/歌手,歌曲地址\r\n12345,稻香-周杰伦,http://music.example/1.mp3\r\n"},
        WriteCase{"JsonNumbersWithStatus",
                  {{{kDaoXiang, "http://music.example/1.mp3", "12345"}},
                   {{"12345", "QQ:12345\xBB\xF1\xC8\xA1\xCD\xEA\xB3\xC9!!", true},
                    {"999", "QQ:999", false}}},
                  ListFormat::Json,
                  "{\n  \"songs\": [\n"
                  "    {\"qq\": \"12345\", \"title\": \"稻香-周杰伦\", \"address\": "
                  "\"http://music.example/1.mp3\"}\n"
                  "  ],\n  \"numbers\": [\n"
                  "    {\"qq\": \"12345\", \"status\": \"QQ:12345获取完成!!\", \"listed\": true},\n"
                  "    {\"qq\": \"999\", \"status\": \"QQ:999\", \"listed\": false}\n"
                  "  ]\n}\n"}),
    test::CaseName());

struct CellCase {
    std::string name;
    Text cell;
    std::string csv;   // the cell as the csv row has it
    std::string json;  // the cell as the json string has it, quotes included
    friend void PrintTo(const CellCase& c, std::ostream* os) { *os << c.name; }
};

class CellTest : public testing::TestWithParam<CellCase> {};

// The cell goes in as the name-singer cell of a one-row list.
TEST_P(CellTest, CsvQuotingAndJsonEscaping) {
    const ListToWrite list{{{GetParam().cell, "a", ""}}, {}};
    EXPECT_EQ(WriteList(list, ListFormat::Csv),
              kBom + "歌曲名/歌手,歌曲地址\r\n" + GetParam().csv + ",a\r\n");
    EXPECT_EQ(WriteList(list, ListFormat::Json),
              "{\n  \"songs\": [\n    {\"title\": " + GetParam().json +
                  ", \"address\": \"a\"}\n  ],\n  \"numbers\": []\n}\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cells, CellTest,
    testing::Values(
        CellCase{"Plain", "abc", "abc", "\"abc\""}, CellCase{"Empty", "", "", "\"\""},
        CellCase{"Comma", "a,b", "\"a,b\"", "\"a,b\""},
        CellCase{"Quotes", "say \"hi\"", "\"say \"\"hi\"\"\"", "\"say \\\"hi\\\"\""},
        CellCase{"LineFeed", "a\nb", "\"a\nb\"", "\"a\\nb\""},
        CellCase{"Backslash", "a\\b", "a\\b", "\"a\\\\b\""},
        CellCase{"ControlCharacters", "\x01\x1F\b\f", "\x01\x1F\b\f", "\"\\u0001\\u001F\\b\\f\""},
        CellCase{"FormulaEquals", "=1+1", "\"'=1+1\"", "\"=1+1\""},
        CellCase{"FormulaPlus", "+1", "\"'+1\"", "\"+1\""},
        CellCase{"FormulaMinusFromAnEmptyName", "-\xD6\xDC\xBD\xDC\xC2\xD7", "\"'-周杰伦\"",
                 "\"-周杰伦\""},
        CellCase{"FormulaAt", "@SUM(A1)", "\"'@SUM(A1)\"", "\"@SUM(A1)\""},
        CellCase{"FormulaTab", "\t=1", "\"'\t=1\"", "\"\\t=1\""},
        CellCase{"FormulaCarriageReturnWithQuote", "\r\"", "\"'\r\"\"\"", "\"\\r\\\"\""},
        CellCase{"MinusInsideIsNoFormula", "a-b", "a-b", "\"a-b\""},
        // 0x5B '[' and 0x5D ']' as trail bytes belong to their character, and
        // a quote after them is still escaped.
        CellCase{"GbkTrailBytes", "\x81\x5B\x81\x5D\"", "\"乕乚\"\"\"", "\"乕乚\\\"\""},
        // 0x5C '\\' as a trail byte is no escape character.
        CellCase{"GbkBackslashTrailByte", "\x81\x5C", "乗", "\"乗\""},
        // A lead byte before a quote stands alone; the quote is still one.
        CellCase{"LeadByteBeforeAQuote", "\x81\"", "\"\xEF\xBF\xBD\"\"\"", "\"\xEF\xBF\xBD\\\"\""},
        CellCase{"StrayLeadByteAtTheEnd", "a\x81", "a\xEF\xBF\xBD", "\"a\xEF\xBF\xBD\""}),
    test::CaseName());

TEST(FormatNames, FromAFormatNameOrAFileName) {
    for (const ListFormat format :
         {ListFormat::Txt, ListFormat::M3u8, ListFormat::Csv, ListFormat::Json}) {
        EXPECT_EQ(FormatFromName(FormatName(format)), format);
    }
    EXPECT_EQ(FormatFromName("JSON"), ListFormat::Json);
    EXPECT_EQ(FormatFromName("m3u"), ListFormat::M3u8);
    EXPECT_EQ(FormatFromName("xml"), std::nullopt);
    EXPECT_EQ(FormatFromFileName("/tmp/a.b/list.CSV"), ListFormat::Csv);
    EXPECT_EQ(FormatFromFileName("list.m3u8"), ListFormat::M3u8);
    EXPECT_EQ(FormatFromFileName("/tmp/a.csv/list"), std::nullopt);
    EXPECT_EQ(FormatFromFileName(".json"), std::nullopt);
    EXPECT_EQ(FormatFromFileName("list.dat"), std::nullopt);
}

}  // namespace
}  // namespace kavuro
