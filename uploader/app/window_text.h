// Small text helpers of the window logic's source files.
#pragma once

#include <cstdio>
#include <string>

namespace quenvara::uploader::window_detail {

inline std::string format(const char* pattern, const std::string& a) {
    char buf[1024];
    std::snprintf(buf, sizeof buf, pattern, a.c_str());
    return buf;
}

inline std::string format(const char* pattern, const std::string& a, const std::string& b) {
    char buf[1024];
    std::snprintf(buf, sizeof buf, pattern, a.c_str(), b.c_str());
    return buf;
}

}  // namespace quenvara::uploader::window_detail
