// Keeps a fuzz target's network traffic on the loopback server it runs. Linked into the
// target, connect() and getaddrinfo() refuse everything else before a packet is sent:
// a name is never looked up (only numeric addresses resolve), and a connection goes
// only to 127.0.0.1 on the one allowed port. Whatever an answer's Location header says,
// the fetch cannot reach anything else; refusals are counted so the target can tell.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kavuro::fuzz {

// The only port a connection may reach; 0 (the start) allows none.
void AllowLoopbackPort(std::uint16_t port);

// Connections and look-ups refused so far.
std::size_t RefusedConnections();
std::size_t RefusedLookups();

}  // namespace kavuro::fuzz
