#include "tests/support/temp_dir.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include "platform/path_text.h"

namespace quenvara::testing {

TempDir::TempDir() {
#ifdef _WIN32
    const auto base = std::filesystem::temp_directory_path();
#else
    // Short paths: socket paths must stay under 108 bytes.
    const std::filesystem::path base = "/tmp";
#endif
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[16];
        std::snprintf(name, sizeof name, "qvt-%08x", static_cast<unsigned>(random()));
        std::error_code error;
        if (std::filesystem::create_directory(base / name, error)) {
            path_ = base / name;
            return;
        }
    }
    throw std::runtime_error("cannot make a test folder in " + base.string());
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::operator/(std::string_view name) const {
    return path_ / platform::utf8Path(name);
}

std::filesystem::path TempDir::write(std::string_view relative, std::string_view content) const {
    const auto p = path_ / platform::utf8Path(relative);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return p;
}

}  // namespace quenvara::testing
