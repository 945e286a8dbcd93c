#include "common/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quenvara {
namespace {

std::string reasonFor(const std::filesystem::path& path, mode_t mode) {
    const char* what = S_ISDIR(mode)                    ? "폴더"
                       : S_ISFIFO(mode)                 ? "FIFO"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "장치"
                       : S_ISSOCK(mode)                 ? "소켓"
                                                        : "특수 파일";
    return path.string() + ": 일반 파일이 아니어서 올릴 수 없습니다. (" + what + ")";
}

}  // namespace

std::string notRegularFileReason(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) {
        return {};
    }
    return reasonFor(path, st.st_mode);
}

Result<int> openRegularFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return Result<int>::failure(path.string() + ": " + std::strerror(errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return Result<int>::failure(path.string() + ": " + std::strerror(err));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return Result<int>::failure(reasonFor(path, st.st_mode));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace quenvara
