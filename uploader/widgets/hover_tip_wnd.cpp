#include "uploader/widgets/hover_tip_wnd.h"

#include <wx/dcclient.h>
#include <wx/settings.h>

namespace quenvara::widgets {

HoverTipWnd::HoverTipWnd(wxWindow* target, const wxString& text)
    : wxPopupWindow(target->GetParent(), wxBORDER_SIMPLE), target_(target), text_(text) {
    SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
    Bind(wxEVT_PAINT, &HoverTipWnd::onPaint, this);
    target_->Bind(wxEVT_MOTION, [this](wxMouseEvent& event) {
        track(target_->ClientToScreen(event.GetPosition()), event.GetModifiers());
        event.Skip();
    });
    target_->Bind(wxEVT_LEAVE_WINDOW, [this](wxMouseEvent& event) {
        Hide();
        event.Skip();
    });
}

void HoverTipWnd::setText(const wxString& text) {
    text_ = text;
    if (text_.empty()) {
        Hide();
    }
    Refresh();
}

void HoverTipWnd::setColours(const wxColour& text, const wxColour& fill, bool filled) {
    textColour_ = text;
    fillColour_ = fill;
    filled_ = filled;
    Refresh();
}

bool HoverTipWnd::shouldShow(const wxPoint& screenPoint, int modifiersHeld,
                             bool focusInParent) const {
    if (text_.empty() || !focusInParent) {
        return false;
    }
    if (modifiers_ != 0 && (modifiersHeld & modifiers_) != modifiers_) {
        return false;
    }
    return target_->GetScreenRect().Contains(screenPoint);
}

void HoverTipWnd::track(const wxPoint& screenPoint, int modifiersHeld) {
    const wxWindow* focus = wxWindow::FindFocus();
    bool focusInParent = false;
    for (const wxWindow* w = focus; w != nullptr; w = w->GetParent()) {
        if (w == target_->GetParent()) {
            focusInParent = true;
            break;
        }
    }
    if (!shouldShow(screenPoint, modifiersHeld, focusInParent)) {
        Hide();
        return;
    }
    wxClientDC dc(this);
    dc.SetFont(GetFont());
    const wxSize size = dc.GetTextExtent(text_) + wxSize(8, 4);
    const wxRect target = target_->GetScreenRect();
    wxPoint at(target.x, target.GetBottom() + 2);
    if (placement_ == Placement::Above) {
        at.y = target.y - size.y - 2;
    } else if (placement_ == Placement::Right) {
        at = wxPoint(target.GetRight() + 2, target.y);
    }
    SetSize(wxRect(at, size));
    Show();
}

void HoverTipWnd::onPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    if (filled_) {
        dc.SetBackground(wxBrush(fillColour_));
        dc.Clear();
    }
    dc.SetFont(GetFont());
    dc.SetTextForeground(textColour_);
    dc.DrawText(text_, 4, 2);
}

}  // namespace quenvara::widgets
