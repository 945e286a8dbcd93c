#pragma once

#include <array>
#include <mutex>
#include <string>
#include <string_view>

namespace quenvara::uploader {

// One line of the icon's menu: the program's command and its text; a
// command of 0 is a separator.
struct TrayMenuItem {
    int command = 0;
    std::string_view label;
};

// The menu, top to bottom.
extern const std::array<TrayMenuItem, 6> kTrayMenu;

// The notification-area icon: animation frames, tooltip, hidden flag.
class TrayIcon {
  public:
    static constexpr int kIdentifier = 160;
    static constexpr int kCallbackMessage = 2024;
    static constexpr int kFrameCount = 9;
    static constexpr std::size_t kTipBytes = 63;  // the platform's field holds 64 with its NUL

    // Mouse messages of the callback that do something.
    enum class Mouse { LeftDoubleClick, RightButtonUp, Other };

    void add(std::string_view tip);
    void remove();
    bool present() const;

    // Timer 5: the next frame, wrapping after the last one.
    void nextFrame();
    void stillFrame();
    int frame() const;
    // Icon resource of the frame: 160 for frame 0, 149 … 156 after it.
    int iconResource() const;

    // The tip, cut to 63 bytes of CP949 at a character boundary.
    void setTip(std::string_view utf8);
    std::string tip() const;

    bool hidden() const;
    void setHidden(bool hidden);

  private:
    mutable std::mutex mutex_;
    bool present_ = false;
    int frame_ = 0;
    std::string tip_;
    bool hidden_ = false;
};

}  // namespace quenvara::uploader
