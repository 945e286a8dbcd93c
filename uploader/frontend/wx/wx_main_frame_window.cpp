#include "uploader/frontend/wx/wx_main_frame.h"

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/display.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include <algorithm>

#include "uploader/app/upload_main_window.h"
#include "uploader/widgets/skin_frame.h"

namespace quenvara::uploader::wxui {

namespace {

using widgets::FrameHit;

wxString u8(std::string_view text) {
    return wxString::FromUTF8(text.data(), text.size());
}

wxStockCursor cursorFor(FrameHit hit) {
    switch (hit) {
        case FrameHit::Left:
        case FrameHit::Right:
            return wxCURSOR_SIZEWE;
        case FrameHit::Top:
        case FrameHit::Bottom:
            return wxCURSOR_SIZENS;
        case FrameHit::TopLeft:
        case FrameHit::BottomRight:
            return wxCURSOR_SIZENWSE;
        case FrameHit::TopRight:
        case FrameHit::BottomLeft:
            return wxCURSOR_SIZENESW;
        case FrameHit::Move:
        case FrameHit::Client:
            break;
    }
    return wxCURSOR_ARROW;
}

}  // namespace

void WxMainFrame::applyWindowState() {
    const WindowState want = view_.windowState();
    if (view_.raiseCount() != raised_) {
        raised_ = view_.raiseCount();
        if (want != WindowState::Hidden) {
            Show();
            Raise();
        }
    }
    if (want == shownState_) {
        return;
    }
    const WindowState was = shownState_;
    shownState_ = want;
    switch (want) {
        case WindowState::Hidden:
            if (!IsMaximized() && !IsIconized()) {
                placeBeforeHiding_ = GetScreenRect();
            }
            if (trayAvailable_) {
                animateHide();
                Hide();
            } else {
                // No tray to come back from: minimise, so the window can
                // always be found again.
                Iconize(true);
            }
            break;
        case WindowState::Minimized:
            Iconize(true);
            break;
        case WindowState::Maximized:
            showWherePlaced(was);
            Maximize(true);
            break;
        case WindowState::Normal:
            showWherePlaced(was);
            if (IsIconized()) {
                Iconize(false);
            }
            if (was == WindowState::Maximized || IsMaximized()) {
                Maximize(false);
            }
            Raise();
            break;
    }
}

void WxMainFrame::showWherePlaced(WindowState was) {
    // Hidden, the window may have been left elsewhere (the hide animation
    // ends at the tray's corner): it comes back where it was. Set again once
    // shown, for a desktop that places a window as it maps it.
    const bool restore = was == WindowState::Hidden && !placeBeforeHiding_.IsEmpty();
    if (restore) {
        SetSize(placeBeforeHiding_);
    }
    Show();
    if (!restore) {
        return;
    }
    SetSize(placeBeforeHiding_);
    // A window manager places a window as it maps it, after Show() returns:
    // the place is set again once it has, and checked a while later.
    placeAgainLeft_ = 2;
    placeAgain_.StartOnce(50);
}

void WxMainFrame::onPlaceAgain(wxTimerEvent&) {
    if (IsShown() && !IsIconized() && !IsMaximized() && GetScreenRect() != placeBeforeHiding_) {
        SetSize(placeBeforeHiding_);
    }
    if (--placeAgainLeft_ > 0) {
        placeAgain_.StartOnce(200);
    }
}

void WxMainFrame::animateHide() {
    // The window shrinks towards a 70 x 10 spot at the work area's corner.
    const wxRect from = GetScreenRect();
    const wxRect work = wxDisplay(0u).GetClientArea();
    const wxRect to(work.GetRight() - 70, work.GetBottom() - 10, 70, 10);
    constexpr int kSteps = 8;
    for (int i = 1; i <= kSteps; ++i) {
        const auto mix = [&](int a, int b) { return a + (b - a) * i / kSteps; };
        SetSize(mix(from.x, to.x), mix(from.y, to.y), std::max(mix(from.width, to.width), 1),
                std::max(mix(from.height, to.height), 1), wxSIZE_ALLOW_MINUS_ONE);
        Update();
        wxMilliSleep(12);
    }
    Hide();
    SetMinSize(wxSize(kMinimumSize, kMinimumSize));
    SetSize(from);
}

void WxMainFrame::onLeftDown(wxMouseEvent& event) {
    const wxSize size = GetClientSize();
    const FrameHit hit = widgets::frameHit(event.GetPosition().x, event.GetPosition().y, size.x,
                                           size.y, IsMaximized());
    if (hit == FrameHit::Client) {
        return;
    }
    drag_ = static_cast<int>(hit);
    dragStart_ = ClientToScreen(event.GetPosition());
    startRect_ = GetScreenRect();
    CaptureMouse();
}

void WxMainFrame::onMotion(wxMouseEvent& event) {
    const wxSize size = GetClientSize();
    if (drag_ == 0) {
        SetCursor(wxCursor(cursorFor(widgets::frameHit(event.GetPosition().x, event.GetPosition().y,
                                                       size.x, size.y, IsMaximized()))));
        return;
    }
    const wxPoint now = ClientToScreen(event.GetPosition());
    const int dx = now.x - dragStart_.x;
    const int dy = now.y - dragStart_.y;
    wxRect r = startRect_;
    const auto hit = static_cast<FrameHit>(drag_);
    if (hit == FrameHit::Move) {
        Move(r.x + dx, r.y + dy);
        return;
    }
    const bool left =
        hit == FrameHit::Left || hit == FrameHit::TopLeft || hit == FrameHit::BottomLeft;
    const bool right =
        hit == FrameHit::Right || hit == FrameHit::TopRight || hit == FrameHit::BottomRight;
    const bool top = hit == FrameHit::Top || hit == FrameHit::TopLeft || hit == FrameHit::TopRight;
    const bool bottom =
        hit == FrameHit::Bottom || hit == FrameHit::BottomLeft || hit == FrameHit::BottomRight;
    if (right) {
        r.width = std::max(kMinimumSize, startRect_.width + dx);
    }
    if (bottom) {
        r.height = std::max(kMinimumSize, startRect_.height + dy);
    }
    if (left) {
        r.width = std::max(kMinimumSize, startRect_.width - dx);
        r.x = startRect_.GetRight() + 1 - r.width;
    }
    if (top) {
        r.height = std::max(kMinimumSize, startRect_.height - dy);
        r.y = startRect_.GetBottom() + 1 - r.height;
    }
    SetSize(r);
}

void WxMainFrame::onLeftUp(wxMouseEvent&) {
    if (drag_ != 0) {
        drag_ = 0;
        if (HasCapture()) {
            ReleaseMouse();
        }
    }
}

std::unique_ptr<wxMenu> WxMainFrame::systemMenu() const {
    auto menu = std::make_unique<wxMenu>();
    menu->Append(control::kMinimize, u8("최소화"));
    menu->Append(control::kMaximize, IsMaximized() ? u8("이전 크기로") : u8("최대화"));
    menu->Append(kCloseCommand, u8("닫기"));
    menu->AppendSeparator();
    menu->Append(kAboutCommand, u8("TaldorUpLoad 정보(&A)..."));
    return menu;
}

void WxMainFrame::showSystemMenu(const wxPoint& at) {
    const auto menu = systemMenu();
    const int chosen = GetPopupMenuSelectionFromUser(*menu, at);
    if (chosen == kAboutCommand) {
        showAbout();
    } else if (chosen == kCloseCommand) {
        if (window_ != nullptr) {
            window_->onSystemClose();
            refresh();
        }
    } else if (chosen != wxID_NONE) {
        command(chosen);
    }
}

void WxMainFrame::showAbout() {
    // A dialog of its own, wide enough for its whole title (a message box
    // is sized to its text, and the desktop cuts a longer title).
    wxDialog about(this, wxID_ANY, u8("TaldorUpLoad 정보"));
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(&about, wxID_ANY, u8("TaldorUpLoad 버전 1.0")), 0, wxALL, 16);
    auto* ok = new wxButton(&about, wxID_OK, u8("확인"));
    sizer->Add(ok, 0, wxALIGN_RIGHT | wxLEFT | wxRIGHT | wxBOTTOM, 12);
    about.SetSizerAndFit(sizer);
    const int titleWidth = about.GetTextExtent(about.GetTitle()).x;
    about.SetMinClientSize(wxSize(std::max(about.GetClientSize().x, titleWidth + 160), -1));
    about.Fit();
    ok->SetDefault();
    about.CentreOnParent();
    about.ShowModal();
}

}  // namespace quenvara::uploader::wxui
