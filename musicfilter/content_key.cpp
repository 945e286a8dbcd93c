#include "musicfilter/content_key.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

#include "common/md4.h"
#include "common/regular_file.h"

namespace quenvara::musicfilter {

KeyWindow keyWindowFor(std::uint64_t length, std::uint64_t tagLength) {
    // Lengths are 64-bit: a file over 4 GiB gets its proper window.
    if (tagLength >= length) {
        return {tagLength, 0};
    }
    const std::uint64_t d = length - tagLength;
    if (d >= 1'484'400) {
        return {tagLength + 960'112, 8};
    }
    if (d >= kKeyWindow) {
        return {length - kKeyWindow, 8};
    }
    return {tagLength, (d + kKeyBlock - 1) / kKeyBlock};
}

std::uint64_t id3v2TagLength(const std::uint8_t (&h)[10]) {
    if (h[0] != 'I' || h[1] != 'D' || h[2] != '3' || h[3] == 0xFF || h[4] == 0xFF) {
        return 0;
    }
    for (int i = 6; i < 10; ++i) {
        if ((h[i] & 0x80) != 0) {
            return 0;
        }
    }
    return ((static_cast<std::uint64_t>(h[6]) << 21) | (static_cast<std::uint64_t>(h[7]) << 14) |
            (static_cast<std::uint64_t>(h[8]) << 7) | h[9]) +
           10;
}

std::vector<std::uint8_t> keyWindowBytes(const std::filesystem::path& path, int& failure) {
    failure = 0;
    std::vector<std::uint8_t> window(kKeyWindow, 0);
    // A FIFO or a device is no music file, and must not block the check.
    auto opened = openRegularFile(path);
    if (!opened) {
        failure = 1;
        return {};
    }
    const int fd = *opened;
    struct stat st {};
    const std::uint64_t length = ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    if (length == 0) {
        ::close(fd);
        failure = 2;
        return {};
    }
    if (length <= 9) {
        [[maybe_unused]] const auto n = ::read(fd, window.data(), length);
        ::close(fd);
        return window;
    }
    std::uint8_t head[10] = {};
    KeyWindow w{0, 0};
    if (::read(fd, head, sizeof head) == static_cast<ssize_t>(sizeof head)) {
        w = keyWindowFor(length, id3v2TagLength(head));
    }
    if (w.blocks > 0 && ::lseek(fd, static_cast<off_t>(w.start), SEEK_SET) >= 0) {
        for (std::uint64_t b = 0; b < w.blocks && b < kKeyWindow / kKeyBlock; ++b) {
            const ssize_t got = ::read(fd, window.data() + b * kKeyBlock, kKeyBlock);
            if (got <= 0) {
                break;
            }
        }
    }
    ::close(fd);
    return window;
}

ContentKeyResult contentKey(const std::filesystem::path& path) {
    ContentKeyResult out;
    const auto window = keyWindowBytes(path, out.failure);
    if (out.failure != 0) {
        return out;
    }
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (auto byte : Md4::of(window)) {
        out.key.push_back(kDigits[byte >> 4]);
        out.key.push_back(kDigits[byte & 0x0F]);
    }
    return out;
}

}  // namespace quenvara::musicfilter
