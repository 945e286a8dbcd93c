#include "uploader/frontend/wx/wx_tray.h"

#include <wx/menu.h>
#include <wx/settings.h>

#include <array>
#include <chrono>
#include <utility>

#include "uploader/app/dialog_view.h"
#include "uploader/widgets/skin_bitmaps.h"

namespace quenvara::uploader::wxui {

namespace {

constexpr std::array kTrayCommands = {command::kTrayWebSite, command::kTrayShow, command::kTrayHide,
                                      command::kTrayExit};

std::int64_t doubleClickMs() {
    const int ms = wxSystemSettings::GetMetric(wxSYS_DCLICK_MSEC);
    return ms > 0 ? ms : 500;
}

}  // namespace

std::int64_t WxTray::steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

WxTray::WxTray(std::function<std::int64_t()> nowMs)
    : nowMs_(std::move(nowMs)), doubleClick_(doubleClickMs()) {
    // The toolkit reports every left click as a press, and one it is not
    // answered as a double click of its own: so a double click would come
    // as two. The presses are taken here and paired into double clicks.
    Bind(wxEVT_TASKBAR_LEFT_DOWN, [this](wxTaskBarIconEvent&) {
        if (doubleClick_.press(nowMs_()) && onMouse_) {
            onMouse_(TrayIcon::Mouse::LeftDoubleClick);
        }
    });
}

void WxTray::connect(std::function<void(int)> onCommand,
                     std::function<void(TrayIcon::Mouse)> onMouse) {
    onCommand_ = std::move(onCommand);
    onMouse_ = std::move(onMouse);
}

int WxTray::menuIdFor(int command) {
    for (std::size_t i = 0; i < kTrayCommands.size(); ++i) {
        if (kTrayCommands[i] == command) {
            return wxID_HIGHEST + 1 + static_cast<int>(i);
        }
    }
    return 0;
}

int WxTray::commandFor(int menuId) {
    const int index = menuId - wxID_HIGHEST - 1;
    if (index < 0 || index >= static_cast<int>(kTrayCommands.size())) {
        return 0;
    }
    return kTrayCommands[static_cast<std::size_t>(index)];
}

void WxTray::update(const TrayIcon& state) {
    if (!state.present()) {
        if (shown_) {
            RemoveIcon();
            shown_ = false;
            frame_ = -1;
        }
        return;
    }
    const std::string tip = state.tip();
    if (!shown_ || state.frame() != frame_ || tip != tip_) {
        frame_ = state.frame();
        tip_ = tip;
        shown_ = SetIcon(widgets::skin::trayFrame(frame_), wxString::FromUTF8(tip_));
    }
}

std::string WxTray::describe() const {
    return "tray available=" + std::to_string(wxTaskBarIcon::IsAvailable()) +
           " shown=" + std::to_string(shown_) + " frame=" + std::to_string(frame_) + " tip=\"" +
           tip_ + "\"";
}

wxMenu* WxTray::CreatePopupMenu() {
    auto* menu = new wxMenu;
    auto u8 = [](const char* s) { return wxString::FromUTF8(s); };
    menu->Append(menuIdFor(command::kTrayWebSite), u8("퀜바라 가기"));
    menu->AppendSeparator();
    menu->Append(menuIdFor(command::kTrayShow), u8("보이기"));
    menu->Append(menuIdFor(command::kTrayHide), u8("감추기"));
    menu->AppendSeparator();
    menu->Append(menuIdFor(command::kTrayExit), u8("종료"));
    menu->Bind(wxEVT_MENU, [this](wxCommandEvent& event) {
        const int chosen = commandFor(event.GetId());
        if (chosen != 0 && onCommand_) {
            onCommand_(chosen);
        }
    });
    return menu;
}

}  // namespace quenvara::uploader::wxui
