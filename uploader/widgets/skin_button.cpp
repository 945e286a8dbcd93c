#include "uploader/widgets/skin_button.h"

#include <wx/dcbuffer.h>
#include <wx/tooltip.h>

#include "uploader/widgets/accessible.h"
#include "uploader/widgets/mask_region.h"
#include "uploader/widgets/skin_bitmaps.h"

namespace quenvara::widgets {

wxRegion regionFromMask(const wxBitmap& mask) {
    wxRegion region;
    for (const auto& run : maskRuns(skin::toRgbImage(mask.ConvertToImage()))) {
        region.Union(run.x, run.y, run.width, run.height);
    }
    return region;
}

SkinButton::SkinButton(wxWindow* parent, int id)
    : wxControl(parent, id, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE | wxWANTS_CHARS) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    accessible::expose(*this, accessible::Role::PushButton);
    Bind(wxEVT_PAINT, &SkinButton::onPaint, this);
    Bind(wxEVT_ENTER_WINDOW, [this](wxMouseEvent&) {
        hover_ = true;
        Refresh(false);
    });
    Bind(wxEVT_LEAVE_WINDOW, [this](wxMouseEvent&) {
        hover_ = false;
        pressed_ = false;
        Refresh(false);
    });
    Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent& event) {
        if (inside(event.GetPosition())) {
            pressed_ = true;
            Refresh(false);
        }
    });
    Bind(wxEVT_LEFT_UP, [this](wxMouseEvent& event) {
        const bool click = pressed_ && inside(event.GetPosition());
        pressed_ = false;
        Refresh(false);
        if (click) {
            this->click();
        }
    });
    // Seen before the frame's own hook, which swallows Enter.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        const int key = event.GetKeyCode();
        if (key == WXK_SPACE || key == WXK_RETURN || key == WXK_NUMPAD_ENTER) {
            click();
            return;
        }
        event.Skip();
    });
    // The focus is drawn as the hover face, the look of "this one".
    Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& event) {
        Refresh(false);
        event.Skip();
    });
    Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
        Refresh(false);
        event.Skip();
    });
}

void SkinButton::click() {
    if (IsEnabled() && onClick_) {
        onClick_();
    }
}

void SkinButton::DoSetToolTip(wxToolTip* tip) {
    accessible::setName(*this, tip != nullptr ? tip->GetTip() : wxString());
    wxControl::DoSetToolTip(tip);
}

bool SkinButton::inside(const wxPoint& point) const {
    if (!GetClientRect().Contains(point)) {
        return false;
    }
    return shape_.IsEmpty() || shape_.Contains(point) == wxInRegion;
}

void SkinButton::setBitmaps(const wxBitmap& normal, const wxBitmap& hover, const wxBitmap& pressed,
                            const wxBitmap& disabled) {
    bitmaps_ = {normal, hover, pressed, disabled};
    if (normal.IsOk()) {
        SetMinSize(normal.GetSize());
    }
    Refresh(false);
}

void SkinButton::setMask(const wxBitmap& mask, bool keepSize) {
    shape_ = regionFromMask(mask);
    if (!keepSize) {
        SetSize(mask.GetSize());
        SetMinSize(mask.GetSize());
    }
    Refresh(false);
}

void SkinButton::setBackdrop(const wxBitmap& backdrop) {
    backdrop_ = backdrop;
    Refresh(false);
}

SkinButton::State SkinButton::state() const {
    if (!IsEnabled()) {
        return kDisabled;
    }
    if (pressed_) {
        return kPressed;
    }
    return hover_ || HasFocus() ? kHover : kNormal;
}

bool SkinButton::Enable(bool enable) {
    const bool changed = wxControl::Enable(enable);
    Refresh(false);
    return changed;
}

void SkinButton::onPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
    dc.Clear();
    if (backdrop_.IsOk()) {
        dc.DrawBitmap(backdrop_, 0, 0);
    }
    const wxBitmap& face = bitmaps_[state()].IsOk() ? bitmaps_[state()] : bitmaps_[kNormal];
    if (!face.IsOk()) {
        return;
    }
    if (!shape_.IsEmpty()) {
        dc.SetDeviceClippingRegion(shape_);
    }
    dc.DrawBitmap(face, 0, 0);
}

}  // namespace quenvara::widgets
