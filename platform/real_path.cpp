#include "platform/real_path.h"

namespace quenvara::platform {

std::filesystem::path realPath(const std::filesystem::path& path, std::error_code& error) {
    return std::filesystem::weakly_canonical(path, error);
}

bool isLink(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(path, error));
}

bool samePath(const std::filesystem::path& a, const std::filesystem::path& b) {
    return a.lexically_normal() == b.lexically_normal();
}

}  // namespace quenvara::platform
