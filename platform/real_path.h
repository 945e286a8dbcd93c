#pragma once

#include <filesystem>
#include <system_error>

namespace quenvara::platform {

// The real place of a path: links (and on Windows junctions, which the
// standard library does not resolve there) and "." / ".." resolved, as far
// as the path exists; the part that does not exist follows as it stands.
std::filesystem::path realPath(const std::filesystem::path& path, std::error_code& error);

// The path itself is a link (on Windows any reparse point: a symbolic link
// or a junction), looked at without following it.
bool isLink(const std::filesystem::path& path);

// Two paths name the same place as the system compares names (Windows
// without regard to case), read as they are: no link is followed.
bool samePath(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace quenvara::platform
