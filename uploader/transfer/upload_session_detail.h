// Helpers shared by the upload session's source files.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <utility>

namespace quenvara::uploader::session_detail {

inline constexpr int kConnectAttempts = 60;

inline std::string sendErrorText(int number) {
    return "패킷 전송 에러 입니다. (code:" + std::to_string(number) + ")";
}

inline bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

inline std::string joinPath(const std::string& parent, const std::string& name) {
    std::string path = parent;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path += name;
    for (std::size_t at; (at = path.find("//")) != std::string::npos;) {
        path.erase(at, 1);
    }
    return path;
}

// The service's registered record describes the working file only when it
// names the same file; another file's record must never be resent for it.
template <class Record>
bool sameFile(const Record& registered, const Record& working) {
    return registered.itemNameBytes() == working.itemNameBytes() &&
           registered.parentFolderBytes() == working.parentFolderBytes() &&
           registered.contentIdBytes() == working.contentIdBytes();
}

}  // namespace quenvara::uploader::session_detail
