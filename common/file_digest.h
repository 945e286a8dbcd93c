#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/result.h"

namespace quenvara {

// Only this much of a file goes into its digest; larger files share the
// digest of their first 10 MiB.
inline constexpr std::uint64_t kDigestWindow = 10'485'760;

// MD5 of the file's first 10,485,760 bytes as 32 lower-case hex digits, or
// the system's reason why the file could not be read. With a `root`, the
// file is opened only inside it (openFileInside).
Result<std::string> fileDigest(const std::filesystem::path& path,
                               const std::filesystem::path& root = {});

}  // namespace quenvara
