#include "support/loopback_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

namespace kavuro::test {
namespace {

constexpr std::size_t kMaxHead = 64 * 1024;
constexpr int kLingerMs = 2000;  // how long a finished reply waits for the client to close

[[noreturn]] void ThrowSystemError(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

bool IsContentLengthField(std::string_view field) {
    constexpr std::string_view name = "content-length:";
    if (field.size() < name.size()) {
        return false;
    }
    return std::equal(name.begin(), name.end(), field.begin(), [](char a, char b) {
        return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
    });
}

std::string HeadOf(const ScriptedAnswer& answer) {
    std::string head = answer.statusLine + "\r\n";
    for (const std::string& field : answer.fields) {
        head += field + "\r\n";
    }
    if (answer.contentLength &&
        std::none_of(answer.fields.begin(), answer.fields.end(), IsContentLengthField)) {
        head += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
    }
    return head + "\r\n";
}

std::string_view ReasonFor(int code) {
    switch (code) {
        case 200:
            return "OK";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 307:
            return "Temporary Redirect";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        default:
            return "Whatever";
    }
}

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Binds a new socket to a free loopback port; returns the socket and sets port.
int BindLoopback(std::uint16_t& port) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0) {
        ThrowSystemError("socket");
    }
    sockaddr_in address = Loopback(0);
    socklen_t size = sizeof address;
    if (::bind(socket, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(socket);
        ThrowSystemError("bind");
    }
    port = ntohs(address.sin_port);
    return socket;
}

enum class Wait { Ready, TimedOut, Stopping };

// Waits for events on socket (none when socket is -1) or for the server to stop.
Wait WaitFor(int stopFd, int socket, short events, int timeoutMs) {
    pollfd fds[2] = {{stopFd, POLLIN, 0}, {socket, events, 0}};
    for (;;) {
        const int ready = ::poll(fds, socket < 0 ? 1 : 2, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || fds[0].revents != 0) {
            return Wait::Stopping;
        }
        return ready == 0 ? Wait::TimedOut : Wait::Ready;
    }
}

}  // namespace

void KeepProxiesAway() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const char* name :
             {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
            ::unsetenv(name);
        }
        ::setenv("no_proxy", "*", 1);
        ::setenv("NO_PROXY", "*", 1);
    });
}

std::string ScriptedAnswer::Reply() const {
    return raw ? *raw : HeadOf(*this) + body;
}

std::size_t ScriptedAnswer::HeadSize() const {
    if (!raw) {
        return HeadOf(*this).size();
    }
    const std::size_t end = raw->find("\r\n\r\n");
    return end == std::string::npos ? raw->size() : end + 4;
}

ScriptedAnswer Status(int code, std::string body) {
    ScriptedAnswer answer;
    answer.statusLine = "HTTP/1.0 " + std::to_string(code) + " " + std::string(ReasonFor(code));
    answer.body = std::move(body);
    return answer;
}

ScriptedAnswer Redirect(int code, std::string location) {
    ScriptedAnswer answer = Status(code, "moved");
    answer.fields.push_back("Location: " + location);
    return answer;
}

struct LoopbackHttpServer::Connection {
    std::thread thread;
    std::atomic<bool> done{false};
};

LoopbackHttpServer::LoopbackHttpServer(ScriptedAnswer defaultAnswer)
    : defaultAnswer_(std::move(defaultAnswer)) {
    KeepProxiesAway();
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0) {
        ThrowSystemError("pipe2");
    }
    try {
        listener_ = BindLoopback(port_);
        if (::listen(listener_, 64) != 0) {
            ThrowSystemError("listen");
        }
        acceptor_ = std::thread([this] { AcceptLoop(); });
    } catch (...) {
        for (int fd : {listener_, stopPipe_[0], stopPipe_[1]}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
        throw;
    }
}

LoopbackHttpServer::~LoopbackHttpServer() {
    const char stop = 's';
    while (::write(stopPipe_[1], &stop, 1) < 0 && errno == EINTR) {
    }
    acceptor_.join();
    for (const auto& connection : connections_) {
        connection->thread.join();
    }
    ::close(listener_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

void LoopbackHttpServer::SetAnswer(std::string target, ScriptedAnswer answer) {
    const std::lock_guard lock(mutex_);
    answers_.insert_or_assign(std::move(target), std::move(answer));
}

std::string LoopbackHttpServer::Address(std::string_view target) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(target);
}

std::vector<std::string> LoopbackHttpServer::Requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> LoopbackHttpServer::TakeRequests() {
    const std::lock_guard lock(mutex_);
    return std::exchange(requests_, {});
}

bool LoopbackHttpServer::WaitForRequests(std::size_t count,
                                         std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return requestArrived_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

bool LoopbackHttpServer::WaitForRepliedHeads(std::size_t count,
                                             std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return headSent_.wait_for(lock, timeout, [&] { return headsSent_ >= count; });
}

bool LoopbackHttpServer::WaitUntilIdle(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return connectionClosed_.wait_for(lock, timeout, [&] { return serving_ == 0; });
}

void LoopbackHttpServer::AcceptLoop() {
    while (WaitFor(stopPipe_[0], listener_, POLLIN, -1) == Wait::Ready) {
        const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket < 0) {
            continue;
        }
        connections_.remove_if([](const std::unique_ptr<Connection>& connection) {
            if (!connection->done) {
                return false;
            }
            connection->thread.join();
            return true;
        });
        {
            const std::lock_guard lock(mutex_);
            ++serving_;
        }
        auto& connection = connections_.emplace_back(std::make_unique<Connection>());
        connection->thread = std::thread([this, socket, done = &connection->done] {
            Serve(socket);
            ::close(socket);
            {
                const std::lock_guard lock(mutex_);
                --serving_;
                connectionClosed_.notify_all();
            }
            *done = true;
        });
    }
}

ScriptedAnswer LoopbackHttpServer::AnswerFor(std::string_view head) const {
    const std::size_t targetStart = head.find(' ');
    std::string_view target;
    if (targetStart != std::string_view::npos) {
        target = head.substr(targetStart + 1);
        target = target.substr(0, target.find_first_of(" \r\n"));
    }
    const std::lock_guard lock(mutex_);
    auto found = answers_.find(target);
    if (found == answers_.end()) {
        found = answers_.find(target.substr(0, target.find('?')));
    }
    return found != answers_.end() ? found->second : defaultAnswer_;
}

void LoopbackHttpServer::Serve(int socket) {
    const int stop = stopPipe_[0];

    // The request head, up to its blank line.
    std::string head;
    std::size_t headEnd = std::string::npos;
    bool isRequest = true;
    while (headEnd == std::string::npos && isRequest && head.size() < kMaxHead) {
        if (WaitFor(stop, socket, POLLIN, -1) != Wait::Ready) {
            return;
        }
        char buffer[4096];
        const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        head.append(buffer, static_cast<std::size_t>(got));
        headEnd = head.find("\r\n\r\n");
        isRequest = head[0] >= 'A' && head[0] <= 'Z';
    }
    if (headEnd != std::string::npos) {
        head.resize(headEnd + 4);
    }
    if (!head.empty()) {
        const std::lock_guard lock(mutex_);
        requests_.push_back(head);
        requestArrived_.notify_all();
    }
    if (headEnd == std::string::npos) {
        return;
    }

    const ScriptedAnswer answer = AnswerFor(head);
    const std::string reply = answer.Reply();
    const std::size_t end = std::min({reply.size(), answer.closeAfter, answer.stallAfter});
    const std::size_t headSize = answer.HeadSize();
    const std::size_t chunk = std::max<std::size_t>(answer.chunkBytes, 1);
    std::size_t sent = 0;
    bool headCounted = false;
    while (sent < end) {
        const std::size_t pieceEnd =
            sent < headSize ? std::min(end, headSize) : sent + std::min(end - sent, chunk);
        while (sent < pieceEnd) {
            const ssize_t put = ::send(socket, reply.data() + sent, pieceEnd - sent, MSG_NOSIGNAL);
            if (put >= 0) {
                sent += static_cast<std::size_t>(put);
            } else if (errno == EAGAIN || errno == EINTR) {
                if (WaitFor(stop, socket, POLLOUT, -1) != Wait::Ready) {
                    return;
                }
            } else {
                return;  // the client has gone
            }
        }
        if (!headCounted && sent >= headSize) {
            headCounted = true;
            const std::lock_guard lock(mutex_);
            ++headsSent_;
            headSent_.notify_all();
        }
        if (answer.chunkDelay.count() > 0 && sent < end &&
            WaitFor(stop, -1, 0, static_cast<int>(answer.chunkDelay.count())) == Wait::Stopping) {
            return;
        }
    }

    const bool stalls = answer.stallAfter <= reply.size() && answer.stallAfter < answer.closeAfter;
    if (!stalls) {
        ::shutdown(socket, SHUT_WR);
    }
    // Read until the client closes, so that closing never resets a connection whose
    // reply the client has not read yet. A stalled reply waits here as long as the
    // client does.
    const int timeoutMs = stalls ? -1 : kLingerMs;
    while (WaitFor(stop, socket, POLLIN, timeoutMs) == Wait::Ready) {
        char buffer[4096];
        const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
            return;
        }
    }
}

RefusingPort::RefusingPort() {
    KeepProxiesAway();
    socket_ = BindLoopback(port_);
}

RefusingPort::~RefusingPort() {
    ::close(socket_);
}

}  // namespace kavuro::test
