#pragma once

#include <wx/taskbar.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "uploader/app/tray_icon.h"
#include "uploader/widgets/click_rules.h"

namespace quenvara::uploader::wxui {

class StatusNotifierTray;

// The notification-area icon: the window logic's frame and tip, its menu,
// and the double click that hides or shows the window. Published as an
// item on the session bus where something there collects them, else in the
// old X11 tray.
class WxTray final : public wxTaskBarIcon {
  public:
    // `nowMs` tells the time of a press, in milliseconds.
    explicit WxTray(std::function<std::int64_t()> nowMs = steadyMs);
    ~WxTray() override;
    // The toolkit's icon brings its own window: the owner is not needed.
    static std::unique_ptr<WxTray> create(wxWindow&) { return std::make_unique<WxTray>(); }
    static std::int64_t steadyMs();
    // Whether the icon can be shown at all, by either means.
    static bool available();
    // Where a chosen menu command (the program's number) and the icon's
    // mouse go.
    void connect(std::function<void(int)> onCommand, std::function<void(TrayIcon::Mouse)> onMouse);
    // Follows the logic's icon: added or removed, its frame and its tip.
    void update(const TrayIcon& state);
    std::string describe() const;

    // The toolkit refuses menu ids above 0x7FFF, and the tray's commands
    // are above it: the menu carries ids of our own, mapped back when an
    // item is chosen. 0 for a number that is no tray command.
    static int menuIdFor(int command);
    static int commandFor(int menuId);

    wxMenu* CreatePopupMenu() override;
    bool RemoveIcon() override;

  private:
    std::function<void(int)> onCommand_;
    std::function<void(TrayIcon::Mouse)> onMouse_;
    std::function<std::int64_t()> nowMs_;
    widgets::DoubleClickRule doubleClick_;
    std::unique_ptr<StatusNotifierTray> item_;
    bool shown_ = false;
    int frame_ = -1;
    std::string tip_;
};

}  // namespace quenvara::uploader::wxui
