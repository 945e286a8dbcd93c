#include "common/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

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

// `path` is `root` or lies below it, part by part.
bool inside(const std::filesystem::path& path, const std::filesystem::path& root) {
    const auto [r, p] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
    return r == root.end() || (std::next(r) == root.end() && r->empty());
}

// The real place of an open file, as the system names it.
std::optional<std::filesystem::path> placeOf(int fd) {
    std::error_code error;
    auto place = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
    if (error) {
        return std::nullopt;
    }
    return place;
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

namespace {

std::int64_t nanosOf(const struct stat& st) {
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

}  // namespace

std::int64_t modifiedTime(const std::filesystem::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? nanosOf(st) : 0;
}

std::int64_t modifiedTime(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? nanosOf(st) : 0;
}

Result<int> openFileInside(const std::filesystem::path& path, const std::filesystem::path& root) {
    const auto fail = [&](const std::string& why) {
        return Result<int>::failure(path.string() + ": " + why);
    };
    std::error_code error;
    auto normalRoot = root.lexically_normal();
    if (!normalRoot.has_filename()) {
        normalRoot = normalRoot.parent_path();
    }
    const auto realRoot = std::filesystem::canonical(root, error);
    if (error) {
        return fail(root == path ? error.message() : root.string() + ": " + error.message());
    }
    if (realRoot != normalRoot) {
        return fail("선택한 곳이 다른 곳을 가리키는 링크로 바뀌어 올리지 않습니다.");
    }
    const auto real = std::filesystem::canonical(path, error);
    if (error) {
        return fail(error.message());
    }
    if (!inside(real, realRoot)) {
        return fail("선택한 폴더 밖을 가리키는 링크여서 올리지 않습니다.");
    }
    const int fd = ::open(real.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) {
        return fail(std::strerror(errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return fail(std::strerror(err));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return Result<int>::failure(reasonFor(path, st.st_mode));
    }
    if (placeOf(fd) != real) {
        ::close(fd);
        return fail("파일이 확인하는 사이에 다른 곳으로 바뀌어 올리지 않습니다.");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace quenvara
