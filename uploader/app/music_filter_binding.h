#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/dynamic_library.h"
#include "platform/notices.h"
#include "platform/system_dirs.h"
#include "quenvara/music_filter.h"
#include "uploader/transfer/music_checker.h"

namespace quenvara::uploader {

// Binds the music filter library by file name and calls its two entry points.
class MusicFilterBinding final : public MusicChecker {
  public:
    static std::string defaultLibraryFile() { return platform::sharedLibraryName("QuenvaraMF"); }
    static constexpr std::size_t kResultSize = music_result::kSize;

    // Loads the library; failures are shown once, with the program's name as
    // caption, and leave the binding without music checks.
    MusicFilterBinding(platform::Notices& notices, std::string caption,
                       const std::string& libraryFile = defaultLibraryFile());

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
