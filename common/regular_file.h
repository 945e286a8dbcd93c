#pragma once

#include <cstdint>
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

// When a file was last modified, in nanoseconds since the epoch, by its path
// or its open descriptor; 0 when it cannot be told.
std::int64_t modifiedTime(const std::filesystem::path& path);
std::int64_t modifiedTime(int fd);

// Opens the file a job names, as openRegularFile does, only when it is
// still what was handed over: `root` (the folder the job named, or the file
// itself) must be its own real place, and the file's real place must lie
// inside it. A link is followed only to a place inside the root, and the
// file that opened is checked to be the one that was checked, so that a
// folder swapped for a link meanwhile is caught.
Result<int> openFileInside(const std::filesystem::path& path, const std::filesystem::path& root);

}  // namespace quenvara
