#pragma once

#include <wx/taskbar.h>

#include <string>

#include "uploader/app/tray_icon.h"

namespace quenvara::uploader {
class UploadMainWindow;
}

namespace quenvara::uploader::wxui {

// The notification-area icon: the window logic's frame and tip, its menu,
// and the double click that hides or shows the window.
class WxTray final : public wxTaskBarIcon {
  public:
    WxTray();
    void connect(UploadMainWindow& window) { window_ = &window; }
    // Follows the logic's icon: added or removed, its frame and its tip.
    void update(const TrayIcon& state);
    std::string describe() const;

  protected:
    wxMenu* CreatePopupMenu() override;

  private:
    UploadMainWindow* window_ = nullptr;
    bool shown_ = false;
    int frame_ = -1;
    std::string tip_;
};

}  // namespace quenvara::uploader::wxui
