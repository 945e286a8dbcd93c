#pragma once

#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace quenvara::testing {

// Symbolic links and FIFOs as tests make them. Windows has no FIFOs, and
// the standard library makes no links there (under Wine the system's call
// makes none that can be followed either): false tells the test to leave
// the case out.
inline bool makeLink(const std::filesystem::path& target, const std::filesystem::path& link) {
    std::error_code error;
    if (std::filesystem::is_directory(target, error)) {
        std::filesystem::create_directory_symlink(target, link, error);
    } else {
        std::filesystem::create_symlink(target, link, error);
    }
    return !error;
}

inline bool makeFifo([[maybe_unused]] const std::filesystem::path& path) {
#ifdef _WIN32
    return false;
#else
    return ::mkfifo(path.c_str(), 0600) == 0;
#endif
}

}  // namespace quenvara::testing
