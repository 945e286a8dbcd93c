#include "platform/path_text.h"

#include <cstring>

namespace quenvara::platform {

// Paths are bytes here and our texts are UTF-8 bytes: nothing to convert.
std::filesystem::path utf8Path(std::string_view utf8) {
    return std::filesystem::path(std::string(utf8));
}

std::string utf8Text(const std::filesystem::path& path) {
    return path.string();
}

std::string utf8FromSystemText(std::string_view text) {
    return std::string(text);
}

std::string systemTextFromUtf8(std::string_view utf8) {
    return std::string(utf8);
}

std::filesystem::path systemTextPath(std::string_view text) {
    return utf8Path(text);
}

std::string systemErrorText(unsigned long code) {
    return std::strerror(static_cast<int>(code));
}

}  // namespace quenvara::platform
