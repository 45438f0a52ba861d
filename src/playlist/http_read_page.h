// HttpReadPage: one HTTP/1.0 GET of an absolute http or https address, over libcurl.
#pragma once

#include <chrono>
#include <cstddef>
#include <stop_token>
#include <string>
#include <string_view>

#include "text/text.h"

namespace kavuro {

// What a read gives: the body, and enough besides to tell a failure from an empty page.
struct PageAnswer {
    Bytes body;             // the final answer's body, as far as it arrived
    bool answered = false;  // a status line arrived from the (final) server
    long status = 0;        // its HTTP status; 0 when nothing answered
    // The body arrived whole: the transfer ended normally (or the declared length had
    // arrived) and no fewer bytes than a Content-Length declared came.
    bool complete = false;
    // Why the read failed or the body is incomplete, in plain English; empty when
    // complete. For tests and the command-line lister, never shown in the window.
    std::string reason;
};

struct PageReadLimits {
    std::chrono::milliseconds connectTimeout{15'000};
    std::chrono::milliseconds stallTime{30'000};  // abandoned below 1 byte/s for this long
    std::chrono::milliseconds totalTime{120'000};
    std::size_t maxBodyBytes = 32u << 20;  // the body stops growing here
    // Once a declared Content-Length has arrived, a server that keeps the connection
    // open but sends nothing for this long has finished.
    std::chrono::milliseconds quietAfterLength{1'000};
};

// Blocks until the answer is complete, fails, or stop is requested (then it returns
// within 100 ms with what had arrived). An empty address, one that does not start with
// "http://" or "https://", or one whose host (over 255 bytes), target (over 2047) or user
// name or password (over 127) is too long, gives the empty answer without touching the
// network. Redirects are followed to http and https only, at most 10. A request through
// a proxy (libcurl's proxy environment) carries "Pragma: no-cache": no cache answers it.
PageAnswer HttpReadPage(const Text& address, std::stop_token stop = {},
                        const PageReadLimits& limits = {});

// Bytes asked for per read, from the Content-Length field's text (null when missing):
// 10240 when missing, unusable or <= 0; value + 1 up to 102400; else 102400.
std::size_t ReadSizeForContentLength(const char* contentLength);

}  // namespace kavuro
