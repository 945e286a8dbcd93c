#pragma once

#include <filesystem>
#include <string_view>

#include "platform/file_lock.h"
#include "platform/result.h"

namespace quenvara::uploader {

inline constexpr std::string_view kAlreadyRunningText = "이미 실행 중 입니다.";

// An instance is one user's uploader on one hand-over socket: it holds the
// lock beside its socket for its whole life, so other users' uploaders and
// uploaders on other socket folders never count. Makes the private socket
// folder and takes the lock; the lock comes back empty when an uploader
// already holds it, and a failure says why the folder or the lock cannot be
// used.
Result<platform::FileLock> claimInstance(const std::filesystem::path& socketPath);

}  // namespace quenvara::uploader
