#include "playlist/playlist_fetch.h"

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

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

// The text that closes a fetch whose answer could not be used, or null when it can be.
std::optional<Text> FailureText(const PageAnswer& answer, const Text& boxText) {
    if (!answer.answered) {
        return ConcatTexts(fetch_texts::kQQ, boxText, fetch_texts::kCannotConnect);
    }
    if (answer.status < 200 || answer.status > 299) {
        return ConcatTexts(fetch_texts::kQQ, boxText, fetch_texts::kServerReturned,
                           IntegerToText(static_cast<std::int32_t>(answer.status)));
    }
    return std::nullopt;
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
    if (const std::optional<Text> failure = FailureText(answer, boxText)) {
        window.SetStatusText(*failure);
        return {.kind = FetchOutcome::Kind::Failed,
                .songs = 0,
                .reason = answer.answered ? "the server answered " + std::to_string(answer.status)
                                          : "no answer from the server"};
    }

    Text answerText = BytesToText(std::move(answer.body));
    std::int32_t count = 0;
    if (!answerText.empty()) {
        // Held from the run to the last row, so that a cancelled fetch still finishing a row
        // cannot interleave with this one. A run cut short by its time limit leaves the
        // list as it was, like an answer cut short.
        const std::lock_guard inUse(matcher.inUse);
        RegexMatcher& regex = matcher.matcher;
        regex.Run(Text(kPlaylistPattern), std::move(answerText));
        if (!regex.Complete()) {
            if (window.Stopped()) {
                return {};
            }
            window.SetStatusText(
                ConcatTexts(fetch_texts::kQQ, boxText, fetch_texts::kIncompleteAnswer));
            return {.kind = FetchOutcome::Kind::Failed,
                    .songs = 0,
                    .reason = "matching the answer took too long"};
        }
        window.DeleteAllRows();
        count = regex.MatchCount();
        for (std::int32_t song = 1; song <= count && !window.Stopped(); ++song) {
            const std::int32_t row = window.InsertRow();
            const Text singer = regex.SubmatchText(song, kSinger);
            const Text songName = regex.SubmatchText(song, kSongName);
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
