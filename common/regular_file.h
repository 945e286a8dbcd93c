#pragma once

#include <filesystem>
#include <string>

#include "platform/result.h"

namespace quenvara {

// Why a path cannot be read as a file: it names a FIFO, a device, a socket
// or a folder. Empty for a regular file, and for a path that does not exist
// (opening it reports that).
std::string notRegularFileReason(const std::filesystem::path& path);

// Opens a regular file for reading; anything else is refused without
// blocking (a FIFO with no writer would hold an ordinary open for ever).
// The caller closes the descriptor.
Result<int> openRegularFile(const std::filesystem::path& path);

}  // namespace quenvara
