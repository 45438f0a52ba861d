// A scripted HTTP server on 127.0.0.1 for tests that need real network traffic. Each
// answer is data: what to send and which fault to play, never a class per fault.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kavuro::test {

inline constexpr std::size_t kWholeReply = std::numeric_limits<std::size_t>::max();

struct ScriptedAnswer {
    std::string statusLine = "HTTP/1.0 200 OK";
    std::vector<std::string> fields;  // "Name: value", sent in this order
    std::string body;
    // Adds "Content-Length: <size of body>" unless fields already hold a Content-Length
    // (which may then lie) or this is false (no length at all).
    bool contentLength = true;
    // When set, these bytes are the whole reply and the three parts above are unused.
    std::optional<std::string> raw;

    // Faults, counted in bytes of the reply, head and body together.
    std::size_t closeAfter = kWholeReply;  // the connection is closed after this many bytes
    // Then nothing is sent until the client leaves; the size of Reply() sends it whole
    // and holds the connection open.
    std::size_t stallAfter = kWholeReply;
    // The head goes out in one piece, the body in pieces of chunkBytes with chunkDelay
    // after each piece but the last.
    std::size_t chunkBytes = kWholeReply;
    std::chrono::milliseconds chunkDelay{0};

    // The reply as it goes out when no fault cuts it short.
    std::string Reply() const;
    // Bytes of the reply up to and including the blank line after the header fields.
    std::size_t HeadSize() const;
};

// Convenience for the common cases.
ScriptedAnswer Status(int code, std::string body = {});
ScriptedAnswer Redirect(int code, std::string location);

// Listens on a free port of 127.0.0.1 from construction to destruction. Each connection
// gets its own thread: the request head is read and recorded, then the answer for its
// target is played. Answers are looked up by the whole target, then by its path alone
// (the part before "?"), then the default answer serves. A connection whose first byte
// cannot start a request (a TLS hello, say) is recorded and closed unanswered.
// Destruction stops every connection at once, also those that stall or wait for a
// client that never sends.
class LoopbackHttpServer {
public:
    explicit LoopbackHttpServer(ScriptedAnswer defaultAnswer = {});
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // Answers requests for this target (or path) from now on.
    void SetAnswer(std::string target, ScriptedAnswer answer);

    std::uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by the target.
    std::string Address(std::string_view target = "/") const;

    // The raw request heads received so far (each up to and including its blank line),
    // in the order they arrived.
    std::vector<std::string> Requests() const;
    // The same, forgotten once taken, for a caller that makes requests without end.
    std::vector<std::string> TakeRequests();
    // Waits until at least count heads have arrived; false when the time ran out.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    // Waits until the heads of at least count replies have been handed to the network
    // whole; false when the time ran out.
    bool WaitForRepliedHeads(std::size_t count, std::chrono::milliseconds timeout) const;
    // Waits until every connection accepted so far has been served and closed (after a
    // client that has closed its side); false when the time ran out.
    bool WaitUntilIdle(std::chrono::milliseconds timeout) const;

private:
    struct Connection;
    void AcceptLoop();
    void Serve(int socket);
    ScriptedAnswer AnswerFor(std::string_view head) const;

    int listener_ = -1;
    int stopPipe_[2] = {-1, -1};  // readable once stopping
    std::uint16_t port_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable requestArrived_;
    mutable std::condition_variable headSent_;
    std::size_t headsSent_ = 0;
    ScriptedAnswer defaultAnswer_;
    std::map<std::string, ScriptedAnswer, std::less<>> answers_;
    std::vector<std::string> requests_;
    std::size_t serving_ = 0;  // connections accepted and not yet closed
    mutable std::condition_variable connectionClosed_;

    std::list<std::unique_ptr<Connection>> connections_;  // the acceptor's alone
    std::thread acceptor_;
};

// Clears the proxy variables from the environment (once per process), so that no test's
// traffic leaves the machine through a proxy. Both classes below call it.
void KeepProxiesAway();

// A port of 127.0.0.1 on which connections are refused for as long as this lives.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    std::uint16_t Port() const { return port_; }

private:
    int socket_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace kavuro::test
