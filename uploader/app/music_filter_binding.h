#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/dynamic_library.h"
#include "platform/notices.h"
#include "quenvara/music_filter.h"

namespace quenvara::uploader {

// The music check as the window and the engine use it.
class MusicChecker {
  public:
    virtual ~MusicChecker() = default;
    // The file's content key when the filter service accepts the file.
    virtual std::optional<std::string> CheckMusicFile(const std::string& path,
                                                      const std::string& userId) = 0;
};

// Binds the music filter library by file name and calls its two entry points.
class MusicFilterBinding final : public MusicChecker {
  public:
    static constexpr const char* kLibraryFile = "libQuenvaraMF.so";
    static constexpr std::size_t kResultSize = music_result::kSize;

    // Loads the library; failures are shown once, with the program's name as
    // caption, and leave the binding without music checks.
    MusicFilterBinding(platform::Notices& notices, std::string caption,
                       const std::string& libraryFile = kLibraryFile);

    bool loaded() const { return loaded_; }
    std::optional<std::string> CheckMusicFile(const std::string& path,
                                              const std::string& userId) override;

  private:
    using Entry = L_OrvaneMusicCheck_t;

    platform::DynamicLibrary library_;
    Entry upload_ = nullptr;
    Entry status_ = nullptr;
    bool loaded_ = false;
    // The window's intake and the engine may both call: never at once.
    std::mutex callMutex_;
};

}  // namespace quenvara::uploader
