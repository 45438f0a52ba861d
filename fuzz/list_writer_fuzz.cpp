// The list writer over any rows: every format is valid UTF-8, txt and m3u8 keep one row
// to its lines, and what csv and json hold parses back (RFC 4180, JSON) to the very rows
// and numbers that were written, the formula guard's apostrophe apart.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "export/list_writer.h"
#include "fuzz_check.h"
#include "text/gbk.h"

namespace {

using namespace kavuro;

bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if ((lead >= 0x80 && lead < 0xC2) || lead > 0xF4 || i + length > bytes.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

std::string OneLine(const Text& gbk) {
    std::string utf8 = GbkToUtf8(gbk);
    for (char& c : utf8) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return utf8;
}

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string_view::npos;
         start = end + 1) {
        lines.emplace_back(text.substr(start, end - start));
    }
    FUZZ_CHECK(start == text.size());  // every line ends in a line feed
    return lines;
}

// RFC 4180 with CRLF records; fails the input on anything else.
std::vector<std::vector<std::string>> ParseCsv(std::string_view text) {
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    std::size_t i = 0;
    while (i < text.size()) {
        std::string& cell = records.back().back();
        if (text[i] == '"') {
            FUZZ_CHECK(cell.empty());
            for (++i;; ++i) {
                FUZZ_CHECK(i < text.size());
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        cell += '"';
                        ++i;
                    } else {
                        ++i;
                        break;
                    }
                } else {
                    cell += text[i];
                }
            }
            FUZZ_CHECK(i == text.size() || text[i] == ',' || text[i] == '\r');
        } else if (text[i] == ',') {
            records.back().emplace_back();
            ++i;
        } else if (text[i] == '\r') {
            FUZZ_CHECK(i + 1 < text.size() && text[i + 1] == '\n');
            i += 2;
            records.emplace_back(1);
        } else {
            FUZZ_CHECK(text[i] != '\n' && text[i] != '"');
            cell += text[i++];
        }
    }
    FUZZ_CHECK(records.back() == std::vector<std::string>(1));  // the last record's CRLF
    records.pop_back();
    return records;
}

struct Json;
using JsonObject = std::map<std::string, std::shared_ptr<Json>>;
using JsonArray = std::vector<std::shared_ptr<Json>>;
struct Json {
    std::variant<bool, std::string, JsonArray, JsonObject> value;
};

class JsonParser {
public:
    explicit JsonParser(std::string_view text) : text_(text) {}

    std::shared_ptr<Json> Document() {
        auto value = Value();
        SkipSpace();
        FUZZ_CHECK(at_ == text_.size());
        return value;
    }

private:
    void SkipSpace() {
        while (at_ < text_.size() &&
               std::string_view(" \n\r\t").find(text_[at_]) != std::string_view::npos) {
            ++at_;
        }
    }
    bool Take(char c) {
        SkipSpace();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    void Expect(char c) { FUZZ_CHECK(Take(c)); }
    bool TakeWord(std::string_view word) {
        SkipSpace();
        if (text_.substr(at_, word.size()) == word) {
            at_ += word.size();
            return true;
        }
        return false;
    }

    std::string String() {
        Expect('"');
        std::string out;
        while (true) {
            FUZZ_CHECK(at_ < text_.size());
            const char c = text_[at_++];
            FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20);
            if (c == '"') {
                return out;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            FUZZ_CHECK(at_ < text_.size());
            const char escape = text_[at_++];
            const std::string_view simple = "\"\\/bfnrt";
            const std::string_view meaning = "\"\\/\b\f\n\r\t";
            if (const std::size_t k = simple.find(escape); k != std::string_view::npos) {
                out += meaning[k];
                continue;
            }
            FUZZ_CHECK(escape == 'u' && at_ + 4 <= text_.size());
            const unsigned long code = std::stoul(std::string(text_.substr(at_, 4)), nullptr, 16);
            at_ += 4;
            FUZZ_CHECK(code < 0x20);  // the writer escapes nothing else this way
            out += static_cast<char>(code);
        }
    }

    std::shared_ptr<Json> Value() {
        auto json = std::make_shared<Json>();
        SkipSpace();
        FUZZ_CHECK(at_ < text_.size());
        if (text_[at_] == '"') {
            json->value = String();
        } else if (Take('[')) {
            JsonArray array;
            if (!Take(']')) {
                do {
                    array.push_back(Value());
                } while (Take(','));
                Expect(']');
            }
            json->value = std::move(array);
        } else if (Take('{')) {
            JsonObject object;
            if (!Take('}')) {
                do {
                    SkipSpace();
                    std::string key = String();
                    Expect(':');
                    FUZZ_CHECK(object.emplace(std::move(key), Value()).second);
                } while (Take(','));
                Expect('}');
            }
            json->value = std::move(object);
        } else if (TakeWord("true")) {
            json->value = true;
        } else {
            FUZZ_CHECK(TakeWord("false"));
            json->value = false;
        }
        return json;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

const JsonObject& Object(const std::shared_ptr<Json>& json) {
    FUZZ_CHECK(std::holds_alternative<JsonObject>(json->value));
    return std::get<JsonObject>(json->value);
}
const JsonArray& Array(const std::shared_ptr<Json>& json) {
    FUZZ_CHECK(std::holds_alternative<JsonArray>(json->value));
    return std::get<JsonArray>(json->value);
}
const std::string& StringAt(const JsonObject& object, const std::string& key) {
    const auto found = object.find(key);
    FUZZ_CHECK(found != object.end() && std::holds_alternative<std::string>(found->second->value));
    return std::get<std::string>(found->second->value);
}

std::string CsvCellAsWritten(const Text& gbk) {
    std::string utf8 = GbkToUtf8(gbk);
    if (!utf8.empty() &&
        std::string_view("=+-@\t\r").find(utf8.front()) != std::string_view::npos) {
        utf8.insert(0, 1, '\'');
    }
    return utf8;
}

void CheckCsv(const ListToWrite& list, std::string_view csv) {
    FUZZ_CHECK(csv.starts_with("\xEF\xBB\xBF"));
    const auto records = ParseCsv(csv.substr(3));
    FUZZ_CHECK(records.size() == list.rows.size() + 1);
    const std::size_t columns = records.front().size();
    FUZZ_CHECK(columns == 2 || columns == 3);
    for (std::size_t row = 0; row < list.rows.size(); ++row) {
        const std::vector<std::string>& record = records[row + 1];
        FUZZ_CHECK(record.size() == columns);
        const ListRow& written = list.rows[row];
        if (columns == 3) {
            FUZZ_CHECK(record[0] == CsvCellAsWritten(written.qqNumber));
        } else {
            FUZZ_CHECK(written.qqNumber.empty());
        }
        FUZZ_CHECK(record[columns - 2] == CsvCellAsWritten(written.nameAndSinger));
        FUZZ_CHECK(record[columns - 1] == CsvCellAsWritten(written.address));
    }
}

void CheckJson(const ListToWrite& list, std::string_view json) {
    const std::shared_ptr<Json> parsed = JsonParser(json).Document();
    const JsonObject& document = Object(parsed);
    FUZZ_CHECK(document.size() == 2);
    const JsonArray& songs = Array(document.at("songs"));
    FUZZ_CHECK(songs.size() == list.rows.size());
    for (std::size_t row = 0; row < songs.size(); ++row) {
        const JsonObject& song = Object(songs[row]);
        const ListRow& written = list.rows[row];
        FUZZ_CHECK(StringAt(song, "title") == GbkToUtf8(written.nameAndSinger));
        FUZZ_CHECK(StringAt(song, "address") == GbkToUtf8(written.address));
        FUZZ_CHECK(song.contains("qq") == !written.qqNumber.empty());
        FUZZ_CHECK(!song.contains("qq") || StringAt(song, "qq") == GbkToUtf8(written.qqNumber));
    }
    const JsonArray& numbers = Array(document.at("numbers"));
    FUZZ_CHECK(numbers.size() == list.numbers.size());
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const JsonObject& number = Object(numbers[i]);
        FUZZ_CHECK(StringAt(number, "qq") == GbkToUtf8(list.numbers[i].qqNumber));
        FUZZ_CHECK(StringAt(number, "status") == GbkToUtf8(list.numbers[i].statusText));
        const auto listed = number.find("listed");
        FUZZ_CHECK(listed != number.end() && std::holds_alternative<bool>(listed->second->value));
        FUZZ_CHECK(std::get<bool>(listed->second->value) == list.numbers[i].listed);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    ListToWrite list;
    const std::size_t rows = input.ConsumeIntegralInRange<std::size_t>(0, 8);
    for (std::size_t i = 0; i < rows; ++i) {
        ListRow row;
        row.nameAndSinger = input.ConsumeRandomLengthString(64);
        row.address = input.ConsumeRandomLengthString(64);
        row.qqNumber = input.ConsumeRandomLengthString(16);
        list.rows.push_back(std::move(row));
    }
    const std::size_t numbers = input.ConsumeIntegralInRange<std::size_t>(0, 4);
    for (std::size_t i = 0; i < numbers; ++i) {
        ListedNumber number;
        number.qqNumber = input.ConsumeRandomLengthString(16);
        number.statusText = input.ConsumeRandomLengthString(64);
        number.listed = input.ConsumeBool();
        list.numbers.push_back(std::move(number));
    }

    const std::string txt = WriteList(list, ListFormat::Txt);
    const std::string m3u8 = WriteList(list, ListFormat::M3u8);
    const std::string csv = WriteList(list, ListFormat::Csv);
    const std::string json = WriteList(list, ListFormat::Json);
    for (const std::string* file : {&txt, &m3u8, &csv, &json}) {
        FUZZ_CHECK(IsValidUtf8(*file));
    }

    const std::vector<std::string> txtLines = Lines(txt);
    FUZZ_CHECK(txtLines.size() == list.rows.size());
    const std::vector<std::string> m3u8Lines = Lines(m3u8);
    FUZZ_CHECK(m3u8Lines.size() == 1 + 2 * list.rows.size() && m3u8Lines[0] == "#EXTM3U");
    for (std::size_t row = 0; row < list.rows.size(); ++row) {
        FUZZ_CHECK(txtLines[row] == OneLine(list.rows[row].nameAndSinger));
        FUZZ_CHECK(m3u8Lines[1 + 2 * row] == "#EXTINF:-1," + OneLine(list.rows[row].nameAndSinger));
        FUZZ_CHECK(m3u8Lines[2 + 2 * row] == OneLine(list.rows[row].address));
    }
    CheckCsv(list, csv);
    CheckJson(list, json);
    return 0;
}
