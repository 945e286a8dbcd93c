#include "uploader/app/music_filter_binding.h"

#include <array>
#include <cstring>
#include <string_view>

#include "platform/path_text.h"

namespace quenvara::uploader {
namespace {

std::string trim(std::string_view s) {
    const auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
    };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return std::string(s);
}

// Text of at most `max` bytes at `offset`, ending at the first NUL.
std::string textAt(const std::array<std::uint8_t, MusicFilterBinding::kResultSize>& r,
                   std::size_t offset, std::size_t max) {
    const auto* p = reinterpret_cast<const char*>(r.data() + offset);
    return std::string(p, strnlen(p, max));
}

}  // namespace

MusicFilterBinding::MusicFilterBinding(platform::Notices& notices, std::string caption,
                                       const std::string& libraryFile)
    : library_(libraryFile) {
    const auto fail = [&](std::string_view text) {
        notices.messageBox(text, caption, platform::NoticeButtons::Ok, platform::NoticeIcon::None);
    };
    if (!library_.loaded()) {
        fail("M Load Library Failed");
        return;
    }
    upload_ = reinterpret_cast<Entry>(library_.symbol("L_OrvaneMusicUpload"));
    if (upload_ == nullptr) {
        fail("M Load Library UpFunction Failed");
        return;
    }
    status_ = reinterpret_cast<Entry>(library_.symbol("L_OrvaneMusicDownload"));
    if (status_ == nullptr) {
        fail("M Load Library DownFunction Failed");
        return;
    }
    loaded_ = true;
}

std::optional<std::string> MusicFilterBinding::CheckMusicFile(const std::string& path,
                                                              const std::string& userId) {
    if (!loaded_) {
        return std::nullopt;
    }
    std::lock_guard lock(callMutex_);
    std::string key;
    {
        std::array<std::uint8_t, kResultSize> result{};
        // The library takes texts in the system's code page.
        if (upload_(result.data(), platform::systemTextFromUtf8(path).c_str(),
                    platform::systemTextFromUtf8(userId).c_str()) == 0) {
            // 32 bytes of key, possibly without a terminator.
            key = trim(textAt(result, music_result::kKey, music_result::kKeySize));
        }
    }
    std::string status;
    {
        std::array<std::uint8_t, kResultSize> result{};
        if (status_(result.data(), key.c_str(), platform::systemTextFromUtf8(userId).c_str()) ==
            0) {
            status = trim(textAt(result, music_result::kStatus, music_result::kStatusSize));
        }
    }
    if (status == "02" || status == "03") {
        return key;
    }
    return std::nullopt;
}

}  // namespace quenvara::uploader
