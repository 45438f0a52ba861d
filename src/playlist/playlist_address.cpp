#include "playlist/playlist_address.h"

#include "build_settings.h"

namespace kavuro {

std::string_view DefaultPlaylistHost() {
    return build_settings::kPlaylistHost;
}

std::string PlaylistAddressPrefix(std::string_view host) {
    std::string prefix = "http://";
    prefix += host;
    prefix += "/fcg-bin/cgi_playlist_xml.fcg?uin=";
    return prefix;
}

}  // namespace kavuro
