#pragma once

#include <wx/icon.h>
#include <wx/window.h>

#include <functional>
#include <memory>
#include <string>

#include "uploader/app/tray_icon.h"

struct HWND__;  // the system's window handle, HWND

namespace quenvara::uploader::wxui {

// The notification-area icon the Windows way: Shell_NotifyIcon with the
// icon's identifier (160) on the main window, whose window procedure gets
// the callback message (2024) with the mouse message in its second
// parameter. A double click hides or shows the window; the right button's
// release opens the six-line menu at the cursor.
class WxTray final {
  public:
    explicit WxTray(wxWindow& owner);
    ~WxTray();
    WxTray(const WxTray&) = delete;
    WxTray& operator=(const WxTray&) = delete;

    static std::unique_ptr<WxTray> create(wxWindow& owner) {
        return std::make_unique<WxTray>(owner);
    }
    // Windows always has a notification area.
    static bool available() { return true; }
    void connect(std::function<void(int)> onCommand, std::function<void(TrayIcon::Mouse)> onMouse);
    void update(const TrayIcon& state);
    bool RemoveIcon();
    std::string describe() const;

  private:
    struct Hook;
    ::HWND__* ownerWindow() const;
    bool notify(unsigned message);
    void onCallback(unsigned mouseMessage);
    void showMenu();

    wxWindow& owner_;
    std::function<void(int)> onCommand_;
    std::function<void(TrayIcon::Mouse)> onMouse_;
    bool shown_ = false;
    int frame_ = -1;
    std::string tip_;
    wxIcon icon_;
    std::string lastMenu_;
};

}  // namespace quenvara::uploader::wxui
