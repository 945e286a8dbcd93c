#include "uploader/frontend/wx/msw_tray.h"

#include <windows.h>
// after windows.h
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "uploader/widgets/skin_bitmaps.h"

namespace quenvara::uploader::wxui {

namespace {

constexpr UINT_PTR kSubclassId = TrayIcon::kIdentifier;

// Explorer announces a new taskbar (after it restarted) with this message:
// icons added before are gone and must be added again.
UINT taskbarCreated() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

std::wstring wide(std::string_view utf8) {
    return wxString::FromUTF8(utf8.data(), utf8.size()).ToStdWstring();
}

}  // namespace

// The main window's procedure sees the icon's messages first.
struct WxTray::Hook {
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR data) {
        auto& tray = *reinterpret_cast<WxTray*>(data);
        if (message == TrayIcon::kCallbackMessage && wParam == TrayIcon::kIdentifier) {
            tray.onCallback(LOWORD(lParam));
            return 0;
        }
        if (message == taskbarCreated() && tray.shown_) {
            tray.shown_ = tray.notify(NIM_ADD);
        }
        return ::DefSubclassProc(window, message, wParam, lParam);
    }
};

HWND WxTray::ownerWindow() const {
    return static_cast<HWND>(owner_.GetHWND());
}

WxTray::WxTray(wxWindow& owner) : owner_(owner) {
    ::SetWindowSubclass(ownerWindow(), Hook::proc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

WxTray::~WxTray() {
    RemoveIcon();
    ::RemoveWindowSubclass(ownerWindow(), Hook::proc, kSubclassId);
}

void WxTray::connect(std::function<void(int)> onCommand,
                     std::function<void(TrayIcon::Mouse)> onMouse) {
    onCommand_ = std::move(onCommand);
    onMouse_ = std::move(onMouse);
}

bool WxTray::notify(unsigned message) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = ownerWindow();
    data.uID = TrayIcon::kIdentifier;
    if (message != NIM_DELETE) {
        data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        data.uCallbackMessage = TrayIcon::kCallbackMessage;
        data.hIcon = static_cast<HICON>(icon_.GetHICON());
        // The logic cut the tip to the 63 bytes the old field held; that
        // many characters always fit the wide field.
        const std::wstring tip = wide(tip_);
        std::copy_n(tip.c_str(), std::min(tip.size(), std::size(data.szTip) - 1), data.szTip);
    }
    return ::Shell_NotifyIconW(message, &data) != FALSE;
}

void WxTray::update(const TrayIcon& state) {
    if (!state.present()) {
        if (shown_) {
            RemoveIcon();
        }
        return;
    }
    const std::string tip = state.tip();
    if (shown_ && state.frame() == frame_ && tip == tip_) {
        return;
    }
    frame_ = state.frame();
    tip_ = tip;
    icon_ = widgets::skin::trayFrame(frame_);
    shown_ = notify(shown_ ? NIM_MODIFY : NIM_ADD) || (shown_ && notify(NIM_ADD));
}

bool WxTray::RemoveIcon() {
    const bool was = shown_;
    shown_ = false;
    frame_ = -1;
    return !was || notify(NIM_DELETE);
}

void WxTray::onCallback(unsigned mouseMessage) {
    if (mouseMessage == WM_LBUTTONDBLCLK) {
        if (onMouse_) {
            onMouse_(TrayIcon::Mouse::LeftDoubleClick);
        }
    } else if (mouseMessage == WM_RBUTTONUP) {
        showMenu();
    }
}

void WxTray::showMenu() {
    HMENU menu = ::CreatePopupMenu();
    lastMenu_.clear();
    for (const auto& item : kTrayMenu) {
        if (item.command == 0) {
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            lastMenu_ += "|-";
        } else {
            ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(item.command),
                          wide(item.label).c_str());
            lastMenu_ += "|" + std::to_string(item.command) + " " + std::string(item.label);
        }
    }
    POINT at{};
    ::GetCursorPos(&at);
    HWND window = ownerWindow();
    // Without the foreground the menu would not close when the user clicks
    // elsewhere; the empty message after it lets the menu go at once.
    ::SetForegroundWindow(window);
    const int chosen = ::TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x,
                                        at.y, 0, window, nullptr);
    ::PostMessageW(window, WM_NULL, 0, 0);
    ::DestroyMenu(menu);
    if (chosen != 0 && onCommand_) {
        onCommand_(chosen);
    }
}

std::string WxTray::describe() const {
    return "tray available=1 shown=" + std::to_string(shown_) + " frame=" + std::to_string(frame_) +
           " tip=\"" + tip_ + "\" id=" + std::to_string(TrayIcon::kIdentifier) +
           " message=" + std::to_string(TrayIcon::kCallbackMessage) + " menu=\"" + lastMenu_ + "\"";
}

}  // namespace quenvara::uploader::wxui
