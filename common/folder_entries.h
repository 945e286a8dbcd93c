#pragma once

#include <filesystem>
#include <system_error>
#include <vector>

namespace quenvara {

// A folder's entries ("." and ".." never among them) in name order, ASCII
// letters compared without case: the order the original platform listed
// them in, and the same on every machine. A folder that cannot be read, or
// stops being readable half-way, sets `error`.
std::vector<std::filesystem::directory_entry> sortedEntries(const std::filesystem::path& folder,
                                                            std::error_code& error);

}  // namespace quenvara
