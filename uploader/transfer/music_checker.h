#pragma once

#include <optional>
#include <string>

namespace quenvara::uploader {

// The music check as the window and the engine use it.
class MusicChecker {
  public:
    virtual ~MusicChecker() = default;
    // The file's content key when the filter service accepts the file.
    virtual std::optional<std::string> CheckMusicFile(const std::string& path,
                                                      const std::string& userId) = 0;
};

}  // namespace quenvara::uploader
