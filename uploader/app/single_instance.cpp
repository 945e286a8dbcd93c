#include "uploader/app/single_instance.h"

#include "platform/local_pipe.h"

namespace quenvara::uploader {

Result<platform::FileLock> claimInstance(const std::filesystem::path& socketPath) {
    if (auto folder = platform::ensurePrivateDirectory(socketPath.parent_path()); !folder) {
        return Result<platform::FileLock>::failure(folder.error());
    }
    return platform::FileLock::tryLock(platform::instanceLockPath(socketPath));
}

}  // namespace quenvara::uploader
