#include "common/file_digest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "common/md5.h"
#include "common/regular_file.h"

namespace quenvara {

Result<std::string> fileDigest(const std::filesystem::path& path,
                               const std::filesystem::path& root) {
    auto opened = root.empty() ? openRegularFile(path) : openFileInside(path, root);
    if (!opened) {
        return Result<std::string>::failure(opened.error());
    }
    const int fd = *opened;
    Md5 md5;
    // Small files get a small buffer: intake digests many of them.
    struct stat st {};
    const std::uint64_t size = ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    std::vector<std::uint8_t> buf(
        static_cast<std::size_t>(std::clamp<std::uint64_t>(size + 1, 4096, 256 * 1024)));
    std::uint64_t remaining = kDigestWindow;
    while (remaining > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(remaining, buf.size()));
        const ssize_t got = ::read(fd, buf.data(), want);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int err = errno;
            ::close(fd);
            return Result<std::string>::failure(path.string() + ": " + std::strerror(err));
        }
        if (got == 0) {
            break;
        }
        md5.update({buf.data(), static_cast<std::size_t>(got)});
        remaining -= static_cast<std::uint64_t>(got);
    }
    ::close(fd);
    const auto digest = md5.finish();
    return toHexLower(digest);
}

}  // namespace quenvara
