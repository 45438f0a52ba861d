#include "playlist/http_read_page.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace kavuro {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kUserAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr long kMaxRedirects = 10;
constexpr int kPollMs = 50;  // bounds how late a stop request or a stall is seen

// The longest parts an address may have, in bytes.
constexpr std::size_t kMaxHost = 255;
constexpr std::size_t kMaxTarget = 2047;  // path, query and fragment
constexpr std::size_t kMaxUserOrPassword = 127;
// A Content-Length value this long or longer is not looked at.
constexpr std::size_t kMaxContentLengthText = 32;

constexpr std::size_t kDefaultReadSize = 10240;
constexpr std::size_t kMaxReadSize = 102400;

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;
using CurlText = std::unique_ptr<char, CurlTextDeleter>;

// The internet handle: what every read shares. It is never closed, because a worker
// thread may still be reading when the process ends.
struct Internet {
    CURLSH* share = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;
};

void LockShared(CURL*, curl_lock_data data, curl_lock_access, void* internet) {
    static_cast<Internet*>(internet)->locks[data].lock();
}

void UnlockShared(CURL*, curl_lock_data data, void* internet) {
    static_cast<Internet*>(internet)->locks[data].unlock();
}

// Opened by the first read; a read that cannot open it fails and the next one tries again.
CURLSH* InternetHandle() {
    static std::mutex opening;
    static Internet* internet = nullptr;
    const std::lock_guard lock(opening);
    if (internet != nullptr) {
        return internet->share;
    }
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        return nullptr;
    }
    auto opened = std::make_unique<Internet>();
    opened->share = curl_share_init();
    if (opened->share == nullptr) {
        return nullptr;
    }
    // Connections are not shared: libcurl does not support sharing them between threads,
    // and HTTP/1.0 closes each one anyway.
    if (curl_share_setopt(opened->share, CURLSHOPT_LOCKFUNC, LockShared) != CURLSHE_OK ||
        curl_share_setopt(opened->share, CURLSHOPT_UNLOCKFUNC, UnlockShared) != CURLSHE_OK ||
        curl_share_setopt(opened->share, CURLSHOPT_USERDATA, opened.get()) != CURLSHE_OK ||
        curl_share_setopt(opened->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) != CURLSHE_OK ||
        curl_share_setopt(opened->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) !=
            CURLSHE_OK) {
        curl_share_cleanup(opened->share);
        return nullptr;
    }
    internet = opened.release();
    return internet->share;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
           });
}

std::string UrlPart(CURLU* url, CURLUPart part) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK) {
        return {};
    }
    const CurlText owned(text);
    return text;
}

// The address split up, dot segments resolved and nothing escaped; null, with the
// reason in refusal, when it is not an http or https address whose parts fit.
UrlHandle ParseAddress(const Text& address, std::string& refusal) {
    // libcurl would also take "http:/host" and the like.
    if (!StartsWithNoCase(address, "http://") && !StartsWithNoCase(address, "https://")) {
        refusal = "the address does not start with http:// or https://";
        return nullptr;
    }
    UrlHandle url(curl_url());
    if (!url) {
        refusal = "out of memory";
        return nullptr;
    }
    if (const CURLUcode code = curl_url_set(url.get(), CURLUPART_URL, address.c_str(), 0);
        code != CURLUE_OK) {
        refusal = std::string("the address cannot be parsed: ") + curl_url_strerror(code);
        return nullptr;
    }
    const std::string query = UrlPart(url.get(), CURLUPART_QUERY);
    const std::string fragment = UrlPart(url.get(), CURLUPART_FRAGMENT);
    const std::size_t targetSize = UrlPart(url.get(), CURLUPART_PATH).size() +
                                   (query.empty() ? 0 : query.size() + 1) +
                                   (fragment.empty() ? 0 : fragment.size() + 1);
    if (UrlPart(url.get(), CURLUPART_HOST).size() > kMaxHost) {
        refusal = "the host name is longer than 255 bytes";
    } else if (targetSize > kMaxTarget) {
        refusal = "the path and query are longer than 2047 bytes";
    } else if (UrlPart(url.get(), CURLUPART_USER).size() > kMaxUserOrPassword ||
               UrlPart(url.get(), CURLUPART_PASSWORD).size() > kMaxUserOrPassword) {
        refusal = "the user name or password is longer than 127 bytes";
    } else {
        return url;
    }
    return nullptr;
}

// A Content-Length value as a C decimal conversion reads it; none when it holds no
// number, a negative one or one too large for any body.
std::optional<std::uint64_t> DeclaredLength(std::string_view text) {
    text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) {
        return std::nullopt;
    }
    return value;
}

// What one read gathers while libcurl runs it.
class Transfer {
public:
    Transfer(const PageReadLimits& limits, Clock::time_point start)
        : limits_(limits),
          stallBytes_(std::max<std::size_t>(
              1, static_cast<std::size_t>(
                     std::chrono::duration_cast<std::chrono::seconds>(limits.stallTime).count()))),
          windowStart_(start),
          lastArrival_(start) {}

    // No exception may pass through libcurl: one ends the transfer and is thrown again
    // once libcurl has let go.
    static std::size_t OnHeader(char* data, std::size_t, std::size_t size, void* self) {
        auto& transfer = *static_cast<Transfer*>(self);
        try {
            transfer.Header(std::string_view(data, size));
            return size;
        } catch (...) {
            transfer.failure_ = std::current_exception();
            return 0;
        }
    }

    static std::size_t OnBody(char* data, std::size_t, std::size_t size, void* self) {
        auto& transfer = *static_cast<Transfer*>(self);
        try {
            return transfer.Body(std::string_view(data, size));
        } catch (...) {
            transfer.failure_ = std::current_exception();
            return 0;
        }
    }

    void RethrowFailure() const {
        if (failure_) {
            std::rethrow_exception(failure_);
        }
    }

    // True when fewer bytes than one per second of the stall time arrived within it.
    bool Stalled(Clock::time_point now) const { return now - windowStart_ >= limits_.stallTime; }

    // True when the current answer's declared length has arrived and nothing has come
    // since for the quiet time: a server that holds the connection open is done.
    bool DoneAndQuiet(Clock::time_point now) const {
        return declaredLength_ && LengthArrived() && now - lastArrival_ >= limits_.quietAfterLength;
    }

    // Why the body of the current answer is not whole after the transfer ended normally,
    // or empty when it is.
    std::string Shortfall() const {
        if (!headComplete_) {
            return "the head was cut short";
        }
        if (!LengthArrived()) {
            return "the connection closed after " + std::to_string(body_.size()) + " of " +
                   std::to_string(*declaredLength_) + " bytes";
        }
        return {};
    }

    bool Capped() const { return capped_; }

    // Answers other than interim (1xx) ones that have begun.
    long answers() const { return answers_; }

    Bytes TakeBody() { return std::move(body_); }

private:
    void Header(std::string_view line) {
        Arrived(line.size());
        if (StartsWithNoCase(line, "http/")) {
            // A new answer begins (after a redirect, say): only the last one's body counts.
            const std::size_t code = line.find(' ');
            if (code == std::string_view::npos || line.substr(code + 1, 1) != "1") {
                ++answers_;
            }
            body_.clear();
            contentLength_.reset();
            declaredLength_.reset();
            headComplete_ = false;
            reserved_ = false;
        } else if (StartsWithNoCase(line, "content-length:") && !contentLength_) {
            std::string_view value = line.substr(15);
            value = value.substr(0, value.find_first_of("\r\n"));
            value.remove_prefix(std::min(value.find_first_not_of(' '), value.size()));
            contentLength_ = value.size() < kMaxContentLengthText ? std::string(value) : "";
            declaredLength_ = DeclaredLength(value);
        } else if (line == "\r\n" || line == "\n") {
            headComplete_ = true;
        }
    }

    bool LengthArrived() const {
        return headComplete_ && (!declaredLength_ || body_.size() >= *declaredLength_);
    }

    std::size_t Body(std::string_view data) {
        Arrived(data.size());
        if (!reserved_) {
            reserved_ = true;
            body_.reserve(std::min(
                ReadSizeForContentLength(contentLength_ ? contentLength_->c_str() : nullptr),
                limits_.maxBodyBytes));
        }
        const std::size_t room =
            limits_.maxBodyBytes - std::min(body_.size(), limits_.maxBodyBytes);
        const std::size_t taken = std::min(data.size(), room);
        body_.append(data.substr(0, taken));
        capped_ = taken < data.size();
        return taken;  // less than given ends the transfer at the cap
    }

    void Arrived(std::size_t size) {
        lastArrival_ = Clock::now();
        windowBytes_ += size;
        if (windowBytes_ >= stallBytes_) {
            windowBytes_ = 0;
            windowStart_ = Clock::now();
        }
    }

    const PageReadLimits& limits_;
    const std::size_t stallBytes_;  // at least this many bytes per stall time
    Clock::time_point windowStart_;
    Clock::time_point lastArrival_;
    std::size_t windowBytes_ = 0;
    long answers_ = 0;
    std::optional<std::string> contentLength_;     // of the current answer, "" when too long
    std::optional<std::uint64_t> declaredLength_;  // its value, when it is a number
    bool headComplete_ = false;                    // the current answer's blank line came
    bool reserved_ = false;
    bool capped_ = false;
    Bytes body_;
    std::exception_ptr failure_;
};

// Removes the easy handle from the multi handle before either is cleaned up.
class Attached {
public:
    Attached(CURLM* multi, CURL* easy)
        : multi_(multi), easy_(easy), ok_(curl_multi_add_handle(multi, easy) == CURLM_OK) {}
    ~Attached() {
        if (ok_) {
            curl_multi_remove_handle(multi_, easy_);
        }
    }
    Attached(const Attached&) = delete;
    Attached& operator=(const Attached&) = delete;
    bool ok() const { return ok_; }

private:
    CURLM* multi_;
    CURL* easy_;
    bool ok_;
};

long Milliseconds(std::chrono::milliseconds duration) {
    return static_cast<long>(std::max<std::chrono::milliseconds::rep>(duration.count(), 1));
}

bool Configure(CURL* easy, CURLU* url, CURLSH* internet, curl_slist* headers,
               curl_slist* proxyHeaders, char* errorText, Transfer& transfer,
               const PageReadLimits& limits) {
    // clang-format off
    return curl_easy_setopt(easy, CURLOPT_CURLU, url) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_SHARE, internet) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers) == CURLE_OK &&
        // Only a request that goes through a proxy gets these: a cache must not answer.
        curl_easy_setopt(easy, CURLOPT_HEADEROPT, CURLHEADER_SEPARATE) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_PROXYHEADER, proxyHeaders) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText) == CURLE_OK &&
        // The body goes on until the server closes, whatever its length said.
        curl_easy_setopt(easy, CURLOPT_IGNORE_CONTENT_LENGTH, 1L) == CURLE_OK &&
        // A proxy tunnel's answer is not the server's.
        curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        // A stopped read must not wait for a name lookup to finish.
        curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                         Milliseconds(limits.connectTimeout)) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, Milliseconds(limits.totalTime)) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, Transfer::OnHeader) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Transfer::OnBody) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer) == CURLE_OK;
    // clang-format on
}

enum class Ending { Finished, Stopped, Stalled, DoneAndQuiet, Failed };

// Runs the transfer until libcurl finishes it (its result in result) or the reader's own
// limits or a stop end it.
Ending Drive(CURLM* multi, const std::stop_token& stop, const Transfer& transfer,
             CURLcode& result) {
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            return Ending::Failed;
        }
        if (running == 0) {
            int queued = 0;
            while (const CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg == CURLMSG_DONE) {
                    result = message->data.result;
                }
            }
            return Ending::Finished;
        }
        if (stop.stop_requested()) {
            return Ending::Stopped;
        }
        const Clock::time_point now = Clock::now();
        if (transfer.DoneAndQuiet(now)) {
            return Ending::DoneAndQuiet;
        }
        if (transfer.Stalled(now)) {
            return Ending::Stalled;
        }
        if (curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr) != CURLM_OK) {
            return Ending::Failed;
        }
    }
}

// Why a read that ended this way did not give a whole answer; empty when it did.
std::string Failure(Ending ending, CURLcode result, const char* errorText, const Transfer& transfer,
                    const PageReadLimits& limits) {
    switch (ending) {
        case Ending::DoneAndQuiet:
            return {};
        case Ending::Stopped:
            return "stopped";
        case Ending::Stalled:
            return "nothing arrived for " + std::to_string(limits.stallTime.count()) + " ms";
        case Ending::Failed:
            return "libcurl failed";
        case Ending::Finished:
            break;
    }
    if (result == CURLE_WRITE_ERROR && transfer.Capped()) {
        return "the body reached the cap of " + std::to_string(limits.maxBodyBytes) + " bytes";
    }
    if (result != CURLE_OK) {
        return *errorText != '\0' ? errorText : curl_easy_strerror(result);
    }
    return transfer.Shortfall();
}

PageAnswer Refused(std::string reason) {
    PageAnswer answer;
    answer.reason = std::move(reason);
    return answer;
}

}  // namespace

PageAnswer HttpReadPage(const Text& address, std::stop_token stop, const PageReadLimits& limits) {
    if (address.empty()) {
        return Refused("the address is empty");
    }
    if (stop.stop_requested()) {
        return Refused("stopped");
    }
    std::string refusal;
    const UrlHandle url = ParseAddress(address, refusal);
    if (!url) {
        return Refused(std::move(refusal));
    }
    CURLSH* internet = InternetHandle();
    if (internet == nullptr) {
        return Refused("libcurl cannot be set up");
    }
    const HeaderList headers(curl_slist_append(nullptr, "Accept: */*"));
    const HeaderList proxyHeaders(curl_slist_append(nullptr, "Pragma: no-cache"));
    char errorText[CURL_ERROR_SIZE] = {};  // outlives the easy handle that writes it
    const EasyHandle easy(curl_easy_init());
    const MultiHandle multi(curl_multi_init());
    if (!easy || !multi || !headers || !proxyHeaders) {
        return Refused("libcurl cannot be set up");
    }
    Transfer transfer(limits, Clock::now());
    if (!Configure(easy.get(), url.get(), internet, headers.get(), proxyHeaders.get(), errorText,
                   transfer, limits)) {
        return Refused("libcurl cannot be set up");
    }
    Ending ending = Ending::Failed;
    CURLcode result = CURLE_OK;
    {
        const Attached attached(multi.get(), easy.get());
        if (!attached.ok()) {
            return Refused("libcurl cannot be set up");
        }
        ending = Drive(multi.get(), stop, transfer, result);
    }
    transfer.RethrowFailure();
    const std::string failure = Failure(ending, result, errorText, transfer, limits);

    // A redirect followed to a server that never answered leaves no answer, though
    // libcurl still reports the redirect's status.
    long status = 0;
    long redirects = 0;
    PageAnswer answer;
    if (curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
        curl_easy_getinfo(easy.get(), CURLINFO_REDIRECT_COUNT, &redirects) == CURLE_OK &&
        status != 0 && transfer.answers() > redirects) {
        answer.answered = true;
        answer.status = status;
        answer.body = transfer.TakeBody();
        answer.complete = failure.empty();
        answer.reason = failure.empty() ? "" : "incomplete: " + failure;
    } else {
        answer.reason = failure.empty() ? "no answer" : failure;
    }
    return answer;
}

std::size_t ReadSizeForContentLength(const char* contentLength) {
    if (contentLength == nullptr) {
        return kDefaultReadSize;
    }
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(contentLength, &end, 10);
    if (errno == ERANGE || end == contentLength || value <= 0 || value > INT32_MAX) {
        return kDefaultReadSize;
    }
    return value + 1 <= static_cast<long long>(kMaxReadSize) ? static_cast<std::size_t>(value + 1)
                                                             : kMaxReadSize;
}

}  // namespace kavuro
