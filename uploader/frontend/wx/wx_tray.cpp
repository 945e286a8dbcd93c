#include "uploader/frontend/wx/wx_tray.h"

#include <wx/menu.h>
#include <wx/settings.h>

#include <array>
#include <chrono>
#include <utility>
#include <vector>

#include "uploader/app/dialog_view.h"
#include "uploader/app/upload_main_window.h"
#include "uploader/frontend/wx/status_notifier_tray.h"
#include "uploader/widgets/skin_bitmaps.h"

namespace quenvara::uploader::wxui {

namespace {

constexpr std::array kTrayCommands = {command::kTrayWebSite, command::kTrayShow, command::kTrayHide,
                                      command::kTrayExit};

StatusNotifierTray::Pixmap pixmapOf(const wxIcon& icon) {
    wxImage image = wxBitmap(icon).ConvertToImage();
    if (!image.HasAlpha()) {
        image.InitAlpha();
    }
    StatusNotifierTray::Pixmap pixmap;
    pixmap.width = image.GetWidth();
    pixmap.height = image.GetHeight();
    const int count = pixmap.width * pixmap.height;
    pixmap.argb.reserve(static_cast<std::size_t>(count) * 4);
    const unsigned char* rgb = image.GetData();
    const unsigned char* alpha = image.GetAlpha();
    for (int i = 0; i < count; ++i) {
        pixmap.argb.insert(pixmap.argb.end(),
                           {alpha[i], rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]});
    }
    return pixmap;
}

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
    std::vector<StatusNotifierTray::MenuItem> menu;
    for (const auto& item : kTrayMenu) {
        menu.push_back({item.command, std::string(item.label)});
    }
    item_ = StatusNotifierTray::create(std::string(kWindowCaption), std::move(menu));
    if (item_) {
        // The bus calls come in the middle of its dispatch: the window
        // logic runs after it, as for the toolkit's own events. Panels send
        // a single click as activation, which stands for the old tray's
        // double click.
        item_->connect(
            [this](int chosen) {
                CallAfter([this, chosen] {
                    if (onCommand_) {
                        onCommand_(chosen);
                    }
                });
            },
            [this] {
                CallAfter([this] {
                    if (onMouse_) {
                        onMouse_(TrayIcon::Mouse::LeftDoubleClick);
                    }
                });
            });
    }
}

WxTray::~WxTray() = default;

bool WxTray::available() {
    return StatusNotifierTray::hostPresent() || wxTaskBarIcon::IsAvailable();
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
        }
        return;
    }
    const std::string tip = state.tip();
    if (!shown_ || state.frame() != frame_ || tip != tip_) {
        frame_ = state.frame();
        tip_ = tip;
        if (item_) {
            item_->show(pixmapOf(widgets::skin::trayFrame(frame_)), tip_);
            shown_ = true;
        } else {
            shown_ = SetIcon(widgets::skin::trayFrame(frame_), wxString::FromUTF8(tip_));
        }
    }
}

bool WxTray::RemoveIcon() {
    shown_ = false;
    frame_ = -1;
    if (item_) {
        item_->hide();
        return true;
    }
    return wxTaskBarIcon::RemoveIcon();
}

std::string WxTray::describe() const {
    std::string line =
        "tray available=" + std::to_string(item_ != nullptr || wxTaskBarIcon::IsAvailable()) +
        " shown=" + std::to_string(shown_) + " frame=" + std::to_string(frame_) + " tip=\"" + tip_ +
        "\"";
    if (item_) {
        line += " bus-item registered=" + std::to_string(item_->registered());
    }
    return line;
}

wxMenu* WxTray::CreatePopupMenu() {
    auto* menu = new wxMenu;
    for (const auto& item : kTrayMenu) {
        if (item.command == 0) {
            menu->AppendSeparator();
        } else {
            menu->Append(menuIdFor(item.command),
                         wxString::FromUTF8(item.label.data(), item.label.size()));
        }
    }
    menu->Bind(wxEVT_MENU, [this](wxCommandEvent& event) {
        const int chosen = commandFor(event.GetId());
        if (chosen != 0 && onCommand_) {
            onCommand_(chosen);
        }
    });
    return menu;
}

}  // namespace quenvara::uploader::wxui
