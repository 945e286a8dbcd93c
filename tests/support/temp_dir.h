#pragma once

#include <filesystem>
#include <string_view>

namespace quenvara::testing {

// A fresh folder for one test, removed with everything in it afterwards.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const;
    // Writes a file (creating its folders) and returns its path.
    std::filesystem::path write(std::string_view relative, std::string_view content) const;

  private:
    std::filesystem::path path_;
};

}  // namespace quenvara::testing
