#include "playlist/http_read_page.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

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

// The address split up, dot segments resolved and nothing escaped; null when it is not
// an http or https address whose parts fit.
UrlHandle ParseAddress(const Text& address) {
    // libcurl would also take "http:/host" and the like.
    if (!StartsWithNoCase(address, "http://") && !StartsWithNoCase(address, "https://")) {
        return nullptr;
    }
    UrlHandle url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, address.c_str(), 0) != CURLUE_OK) {
        return nullptr;
    }
    const std::string query = UrlPart(url.get(), CURLUPART_QUERY);
    const std::string fragment = UrlPart(url.get(), CURLUPART_FRAGMENT);
    const std::size_t targetSize = UrlPart(url.get(), CURLUPART_PATH).size() +
                                   (query.empty() ? 0 : query.size() + 1) +
                                   (fragment.empty() ? 0 : fragment.size() + 1);
    if (UrlPart(url.get(), CURLUPART_HOST).size() > kMaxHost || targetSize > kMaxTarget ||
        UrlPart(url.get(), CURLUPART_USER).size() > kMaxUserOrPassword ||
        UrlPart(url.get(), CURLUPART_PASSWORD).size() > kMaxUserOrPassword) {
        return nullptr;
    }
    return url;
}

// What one read gathers while libcurl runs it.
class Transfer {
public:
    Transfer(const PageReadLimits& limits, Clock::time_point start)
        : limits_(limits),
          stallBytes_(std::max<std::size_t>(
              1, static_cast<std::size_t>(
                     std::chrono::duration_cast<std::chrono::seconds>(limits.stallTime).count()))),
          windowStart_(start) {}

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
            reserved_ = false;
        } else if (StartsWithNoCase(line, "content-length:") && !contentLength_) {
            std::string_view value = line.substr(15);
            value = value.substr(0, value.find_first_of("\r\n"));
            value.remove_prefix(std::min(value.find_first_not_of(' '), value.size()));
            contentLength_ = value.size() < kMaxContentLengthText ? std::string(value) : "";
        }
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
        return taken;  // less than given ends the transfer at the cap
    }

    void Arrived(std::size_t size) {
        windowBytes_ += size;
        if (windowBytes_ >= stallBytes_) {
            windowBytes_ = 0;
            windowStart_ = Clock::now();
        }
    }

    const PageReadLimits& limits_;
    const std::size_t stallBytes_;  // at least this many bytes per stall time
    Clock::time_point windowStart_;
    std::size_t windowBytes_ = 0;
    long answers_ = 0;
    std::optional<std::string> contentLength_;  // of the current answer, "" when too long
    bool reserved_ = false;
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

bool Configure(CURL* easy, CURLU* url, CURLSH* internet, curl_slist* headers, Transfer& transfer,
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

}  // namespace

PageAnswer HttpReadPage(const Text& address, std::stop_token stop, const PageReadLimits& limits) {
    if (address.empty() || stop.stop_requested()) {
        return {};
    }
    const UrlHandle url = ParseAddress(address);
    if (!url) {
        return {};
    }
    CURLSH* internet = InternetHandle();
    if (internet == nullptr) {
        return {};
    }
    const HeaderList headers(curl_slist_append(nullptr, "Accept: */*"));
    const EasyHandle easy(curl_easy_init());
    const MultiHandle multi(curl_multi_init());
    if (!easy || !multi || !headers) {
        return {};
    }
    Transfer transfer(limits, Clock::now());
    if (!Configure(easy.get(), url.get(), internet, headers.get(), transfer, limits)) {
        return {};
    }
    {
        const Attached attached(multi.get(), easy.get());
        if (!attached.ok()) {
            return {};
        }
        int running = 1;
        while (curl_multi_perform(multi.get(), &running) == CURLM_OK && running != 0 &&
               !stop.stop_requested() && !transfer.Stalled(Clock::now()) &&
               curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr) == CURLM_OK) {
        }
    }
    transfer.RethrowFailure();

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
