// The status texts a fetch shows, in GBK. The readable form stands beside each.
#pragma once

#include <string_view>

namespace kavuro::fetch_texts {

inline constexpr std::string_view kFetching = "\xBB\xF1\xC8\xA1\xD6\xD0..";  // 获取中..
inline constexpr std::string_view kNameSingerSeparator = " \xA3\xAD ";       // " － "
inline constexpr std::string_view kAddressLabel = "  \xB5\xD8\xD6\xB7:";     // "  地址:"
inline constexpr std::string_view kRowNameSingerSeparator = "-";
inline constexpr std::string_view kQQ = "QQ:";
// 获取完成!!空间音乐总数:
inline constexpr std::string_view kDoneTotal =
    "\xBB\xF1\xC8\xA1\xCD\xEA\xB3\xC9!!\xBF\xD5\xBC\xE4\xD2\xF4\xC0\xD6\xD7\xDC\xCA\xFD:";
// 获取失败!!无法连接服务器
inline constexpr std::string_view kCannotConnect =
    "\xBB\xF1\xC8\xA1\xCA\xA7\xB0\xDC!!\xCE\xDE\xB7\xA8\xC1\xAC\xBD\xD3\xB7\xFE\xCE\xF1\xC6\xF7";
// 获取失败!!服务器返回:
inline constexpr std::string_view kServerReturned =
    "\xBB\xF1\xC8\xA1\xCA\xA7\xB0\xDC!!\xB7\xFE\xCE\xF1\xC6\xF7\xB7\xB5\xBB\xD8:";
// 获取失败!!回答不完整
inline constexpr std::string_view kIncompleteAnswer =
    "\xBB\xF1\xC8\xA1\xCA\xA7\xB0\xDC!!\xBB\xD8\xB4\xF0\xB2\xBB\xCD\xEA\xD5\xFB";

}  // namespace kavuro::fetch_texts
