#include "playlist/playlist_fetch.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "playlist/character_references.h"
#include "playlist/fetch_texts.h"
#include "playlist/playlist_pattern.h"

namespace kavuro {

namespace {

constexpr std::int32_t kStatusPart = 0;
constexpr std::int32_t kNameColumn = 0;
constexpr std::int32_t kAddressColumn = 1;
enum SongField : std::int32_t { kSinger = 1, kSongName = 2, kSongAddress = 3 };

// Pasted text must not add query fields or break the request line, so every byte but
// the unreserved ones travels percent-encoded; a plain number is unchanged.
Text EscapeQueryValue(std::string_view value) {
    Text escaped;
    escaped.reserve(value.size());
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                                byte == '_' || byte == '~';
        if (unreserved) {
            escaped += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", byte);
            escaped += hex;
        }
    }
    return escaped;
}

struct Failure {
    Text statusText;
    std::string reason;
};

// How a fetch whose answer cannot be used ends, or null when it can be used. A body cut
// short is not listed: its songs would replace a whole list as if they were all.
std::optional<Failure> UnusableAnswer(const PageAnswer& answer, const Text& boxText) {
    if (!answer.answered) {
        return Failure{ConcatTexts(fetch_texts::kQQ, boxText, fetch_texts::kCannotConnect),
                       "no answer from the server: " + answer.reason};
    }
    if (answer.status < 200 || answer.status > 299) {
        return Failure{ConcatTexts(fetch_texts::kQQ, boxText, fetch_texts::kServerReturned,
                                   IntegerToText(static_cast<std::int32_t>(answer.status))),
                       "the server answered " + std::to_string(answer.status)};
    }
    if (!answer.complete) {
        return Failure{ConcatTexts(fetch_texts::kQQ, boxText, fetch_texts::kIncomplete),
                       answer.reason};
    }
    return std::nullopt;
}

// Whether an answer without songs is a playlist all the same (a user with no songs), not
// a login page, an error page served as a success or a changed format. '<' is never the
// second byte of a GBK character, so the marks are found by bytes, not by characters.
bool IsPlaylistAnswer(std::string_view answer) {
    constexpr std::array<std::string_view, 2> kMarks = {"<playlist", "<xmusicnum>"};
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    for (std::size_t tag = answer.find('<'); tag != std::string_view::npos;
         tag = answer.find('<', tag + 1)) {
        for (const std::string_view mark : kMarks) {
            const std::string_view here = answer.substr(tag, mark.size());
            if (std::equal(here.begin(), here.end(), mark.begin(), mark.end(),
                           [&](char a, char b) { return lower(a) == b; })) {
                return true;
            }
        }
    }
    return false;
}

// The window as one fetch sees it: once stop is requested, every operation is skipped,
// so a cancelled fetch writes nothing more. (The window's own implementation closes the
// gap between this check and the call.)
class FetchWindow {
public:
    FetchWindow(WindowOperations& window, std::stop_token stop)
        : window_(window), stop_(std::move(stop)) {}

    bool Stopped() const { return stop_.stop_requested(); }
    void SetStatusText(const Text& text) {
        if (!Stopped()) {
            window_.SetStatusText(kStatusPart, text);
        }
    }
    Text EditBoxText() { return Stopped() ? Text() : window_.EditBoxText(); }
    void DeleteAllRows() {
        if (!Stopped()) {
            window_.DeleteAllRows();
        }
    }
    std::int32_t InsertRow() { return Stopped() ? -1 : window_.InsertRow(); }
    void SetCellText(std::int32_t row, std::int32_t column, const Text& text) {
        if (!Stopped()) {
            window_.SetCellText(row, column, text);
        }
    }

private:
    WindowOperations& window_;
    std::stop_token stop_;
};

}  // namespace

FetchOutcome PlaylistFetch(WindowOperations& windowOperations, SharedMatcher& matcher,
                           std::string_view addressPrefix, std::stop_token stop,
                           const PageReadLimits& limits) {
    FetchWindow window(windowOperations, stop);
    window.SetStatusText(Text(fetch_texts::kFetching));

    // The closing text names the box as it was read here: a second read could show a
    // number the user typed since (or the box emptied by focus) instead of the one fetched.
    const Text boxText = window.EditBoxText();
    const Text address = ConcatTexts(addressPrefix, EscapeQueryValue(TrimBothEnds(boxText)));

    PageAnswer answer = HttpReadPage(address, stop, limits);
    if (window.Stopped()) {
        return {};
    }
    if (std::optional<Failure> failure = UnusableAnswer(answer, boxText)) {
        window.SetStatusText(failure->statusText);
        return {
            .kind = FetchOutcome::Kind::Failed, .songs = 0, .reason = std::move(failure->reason)};
    }

    Text answerText = BytesToText(std::move(answer.body));
    std::int32_t count = 0;
    if (!answerText.empty()) {
        // Held from the run to the last row, so that a cancelled fetch still finishing a row
        // cannot interleave with this one. A run cut short by its time limit leaves the
        // list as it was, like an answer cut short.
        // Found at once in a real answer, which names its playlist near the top; asked
        // before the answer is handed to the matcher.
        const bool isPlaylist = IsPlaylistAnswer(answerText);
        const std::lock_guard inUse(matcher.inUse);
        RegexMatcher& regex = matcher.matcher;
        regex.Run(Text(kPlaylistPattern), std::move(answerText));
        if (!regex.Complete()) {
            if (window.Stopped()) {
                return {};
            }
            window.SetStatusText(ConcatTexts(fetch_texts::kQQ, boxText, fetch_texts::kIncomplete));
            return {.kind = FetchOutcome::Kind::Failed,
                    .songs = 0,
                    .reason = "matching the answer took too long"};
        }
        count = regex.MatchCount();
        // The list is cleared only for a playlist, so an unrecognised answer keeps it.
        if (count == 0 && !isPlaylist) {
            if (window.Stopped()) {
                return {};
            }
            window.SetStatusText(
                ConcatTexts(fetch_texts::kQQ, boxText, fetch_texts::kUnrecognised));
            return {.kind = FetchOutcome::Kind::Failed,
                    .songs = 0,
                    .reason = "the answer is not a playlist"};
        }
        window.DeleteAllRows();
        for (std::int32_t song = 1; song <= count && !window.Stopped(); ++song) {
            const std::int32_t row = window.InsertRow();
            // Only the names are text for people; the address is used byte for byte.
            const Text singer = DecodeCharacterReferences(regex.SubmatchText(song, kSinger));
            const Text songName = DecodeCharacterReferences(regex.SubmatchText(song, kSongName));
            const Text songAddress = regex.SubmatchText(song, kSongAddress);
            window.SetStatusText(ConcatTexts(songName, fetch_texts::kNameSingerSeparator, singer,
                                             fetch_texts::kAddressLabel, songAddress));
            window.SetCellText(row, kNameColumn,
                               ConcatTexts(songName, fetch_texts::kRowNameSingerSeparator, singer));
            window.SetCellText(row, kAddressColumn, songAddress);
        }
    }
    if (window.Stopped()) {
        return {};
    }
    window.SetStatusText(
        ConcatTexts(fetch_texts::kQQ, boxText, fetch_texts::kDoneTotal, IntegerToText(count)));
    return {.kind = FetchOutcome::Kind::Listed, .songs = count, .reason = {}};
}

}  // namespace kavuro
