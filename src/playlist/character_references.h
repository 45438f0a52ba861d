// The playlist service escapes characters inside the CDATA of names as XML character
// references ("The&#32;Rose", "There You&#39;ll Be"); these read them as it meant them.
#pragma once

#include <string_view>

#include "text/text.h"

namespace kavuro {

// gbk with every reference "&#NNN;", "&#xHHH;", "&amp;", "&lt;", "&gt;", "&quot;" and
// "&apos;" replaced by its character in GBK. A reference to a character GBK cannot hold
// (or to U+0000), an unknown name and anything malformed stay byte for byte.
Text DecodeCharacterReferences(std::string_view gbk);

}  // namespace kavuro
