#include "platform/file_lock.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

namespace quenvara::platform {
namespace {

std::string errnoText(const std::filesystem::path& file, int err) {
    return file.string() + ": " + std::strerror(err);
}

// The whole file, for writing; open-file-description locks need l_pid 0.
struct flock wholeFile() {
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    return range;
}

}  // namespace

Result<FileLock> FileLock::take(const std::filesystem::path& file, bool wait) {
    UniqueFd fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid()) {
        return Result<FileLock>::failure(errnoText(file, errno));
    }
    auto range = wholeFile();
    while (::fcntl(fd.get(), wait ? F_OFD_SETLKW : F_OFD_SETLK, &range) != 0) {
        if (errno == EINTR) {
            continue;
        }
        if (!wait && (errno == EAGAIN || errno == EACCES)) {
            return FileLock{};
        }
        return Result<FileLock>::failure(errnoText(file, errno));
    }
    return FileLock(std::move(fd));
}

Result<FileLock> FileLock::tryLock(const std::filesystem::path& file) {
    return take(file, false);
}

Result<FileLock> FileLock::lock(const std::filesystem::path& file) {
    return take(file, true);
}

Result<bool> lockIsHeld(const std::filesystem::path& file) {
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid()) {
        if (errno == ENOENT) {
            return false;
        }
        return Result<bool>::failure(errnoText(file, errno));
    }
    auto range = wholeFile();
    if (::fcntl(fd.get(), F_OFD_GETLK, &range) != 0) {
        return Result<bool>::failure(errnoText(file, errno));
    }
    return range.l_type != F_UNLCK;
}

}  // namespace quenvara::platform
