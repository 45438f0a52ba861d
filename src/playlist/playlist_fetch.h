// PlaylistFetch: the program's one job. Reads the QQ number from the edit box, asks the
// playlist service for that user's space playlist, and fills the list and the status
// bar through the window operations. Runs on a worker thread, one per press.
#pragma once

#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>

#include "match/regex_matcher.h"
#include "playlist/http_read_page.h"
#include "text/text.h"
#include "window/window_operations.h"

namespace kavuro {

// The one matcher, and the lock that keeps fetches from using it at the same time.
struct SharedMatcher {
    RegexMatcher matcher;
    std::mutex inUse;  // held by a fetch from its run to the end of its song loop
};

// How a fetch ended, for a caller that goes on after it (the command-line lister, tests).
// The window has been told already, through its status text.
struct FetchOutcome {
    enum class Kind {
        Listed,     // the closing total was shown (an empty playlist included)
        Failed,     // a failure text was shown; the list kept its rows
        Cancelled,  // stop was requested; nothing more was shown
    };
    Kind kind = Kind::Cancelled;
    std::int32_t songs = 0;  // rows listed, when Listed
    std::string reason;      // why it failed, in plain English, when Failed
};

// One fetch, from "获取中.." to the closing total, asking addressPrefix (see
// PlaylistAddressPrefix) followed by the number. When stop is requested the page read is
// aborted and the fetch makes no further window operation.
FetchOutcome PlaylistFetch(WindowOperations& window, SharedMatcher& matcher,
                           std::string_view addressPrefix, std::stop_token stop = {},
                           const PageReadLimits& limits = {});

}  // namespace kavuro
