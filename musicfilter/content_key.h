#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quenvara::musicfilter {

inline constexpr std::size_t kKeyWindow = 524'288;  // 512 KiB
inline constexpr std::size_t kKeyBlock = 65'536;

// Where the key's window comes from in a file of `length` bytes whose
// ID3v2 tag (if any) is `tagLength` bytes long.
struct KeyWindow {
    std::uint64_t start = 0;
    std::uint64_t blocks = 0;  // of 65,536 bytes
};
KeyWindow keyWindowFor(std::uint64_t length, std::uint64_t tagLength);

// The length of an ID3v2 tag from the first 10 bytes of a file, 10 included;
// 0 when they are not a tag header.
std::uint64_t id3v2TagLength(const std::uint8_t (&head)[10]);

// The content key: MD4 of the 512 KiB window as 32 upper-case hex digits.
// Failure 1: the file cannot be opened; 2: it is empty.
struct ContentKeyResult {
    int failure = 0;
    std::string key;
};
ContentKeyResult contentKey(const std::filesystem::path& path);

// The window itself (exposed for tests).
std::vector<std::uint8_t> keyWindowBytes(const std::filesystem::path& path, int& failure);

}  // namespace quenvara::musicfilter
