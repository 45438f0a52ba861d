// Where the playlist service is asked.
#pragma once

#include <string>
#include <string_view>

namespace kavuro {

// The host (and optional ":port") the build was configured with.
std::string_view DefaultPlaylistHost();

// The service's address on host up to "uin="; the trimmed, escaped QQ number follows it.
std::string PlaylistAddressPrefix(std::string_view host = DefaultPlaylistHost());

}  // namespace kavuro
