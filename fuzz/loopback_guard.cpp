#include "loopback_guard.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace kavuro::fuzz {
namespace {

std::atomic<std::uint16_t> allowedPort{0};
std::atomic<std::size_t> refusedConnections{0};
std::atomic<std::size_t> refusedLookups{0};

bool Allowed(const sockaddr* address, socklen_t size) {
    if (address == nullptr || size < static_cast<socklen_t>(sizeof(sockaddr_in)) ||
        address->sa_family != AF_INET) {
        return false;
    }
    const auto* inet = reinterpret_cast<const sockaddr_in*>(address);
    const std::uint16_t port = allowedPort.load();
    return inet->sin_addr.s_addr == htonl(INADDR_LOOPBACK) && port != 0 &&
           ntohs(inet->sin_port) == port;
}

}  // namespace

void AllowLoopbackPort(std::uint16_t port) {
    allowedPort = port;
}

std::size_t RefusedConnections() {
    return refusedConnections.load();
}

std::size_t RefusedLookups() {
    return refusedLookups.load();
}

}  // namespace kavuro::fuzz

// These replace the C library's (and the sanitizer's) entries for every caller in the
// process, libcurl and its resolver thread included.
extern "C" int connect(int socket, const sockaddr* address, socklen_t size) {
    if (!kavuro::fuzz::Allowed(address, size)) {
        ++kavuro::fuzz::refusedConnections;
        errno = ECONNREFUSED;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_connect, socket, address, size));
}

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) {
    using Real = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "getaddrinfo"));
    addrinfo numeric{};
    if (hints != nullptr) {
        numeric = *hints;
    }
    numeric.ai_flags |= AI_NUMERICHOST;
    const int status = real != nullptr ? real(node, service, &numeric, result) : EAI_FAIL;
    if (status != 0) {
        ++kavuro::fuzz::refusedLookups;
    }
    return status;
}
