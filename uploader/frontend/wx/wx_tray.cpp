#include "uploader/frontend/wx/wx_tray.h"

#include <wx/menu.h>

#include "uploader/app/dialog_view.h"
#include "uploader/app/upload_main_window.h"
#include "uploader/widgets/skin_bitmaps.h"

namespace quenvara::uploader::wxui {

WxTray::WxTray() {
    Bind(wxEVT_TASKBAR_LEFT_DCLICK, [this](wxTaskBarIconEvent&) {
        if (window_ != nullptr) {
            window_->onTrayMouse(TrayIcon::Mouse::LeftDoubleClick);
        }
    });
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
    menu->Append(command::kTrayWebSite, u8("퀜바라 가기"));
    menu->AppendSeparator();
    menu->Append(command::kTrayShow, u8("보이기"));
    menu->Append(command::kTrayHide, u8("감추기"));
    menu->AppendSeparator();
    menu->Append(command::kTrayExit, u8("종료"));
    menu->Bind(wxEVT_MENU, [this](wxCommandEvent& event) {
        if (window_ != nullptr) {
            window_->onCommand(event.GetId());
        }
    });
    return menu;
}

}  // namespace quenvara::uploader::wxui
