#include "uploader/widgets/skin_check_box.h"

#include <wx/dcbuffer.h>
#include <wx/settings.h>

#include "uploader/widgets/accessible.h"

namespace quenvara::widgets {

SkinCheckBox::SkinCheckBox(wxWindow* parent, int id, const wxString& text, bool textOnLeft)
    : wxControl(parent, id, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE | wxWANTS_CHARS),
      textOnLeft_(textOnLeft) {
    wxControl::SetLabel(text);
    accessible::expose(*this, accessible::Role::CheckBox);
    accessible::setName(*this, text);
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetBackgroundColour(*wxWHITE);
    Bind(wxEVT_PAINT, &SkinCheckBox::onPaint, this);
    Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent&) {
        pressed_ = true;
        Refresh();
    });
    Bind(wxEVT_LEFT_UP, [this](wxMouseEvent& event) {
        const bool inside = GetClientRect().Contains(event.GetPosition());
        pressed_ = false;
        Refresh();
        if (inside && IsEnabled() && onClick_) {
            onClick_();
        }
    });
    // Seen before the frame's own hook, which swallows Enter.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        const int key = event.GetKeyCode();
        if (key == WXK_SPACE || key == WXK_RETURN || key == WXK_NUMPAD_ENTER) {
            if (IsEnabled() && onClick_) {
                onClick_();
            }
            return;
        }
        event.Skip();
    });
    Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& event) {
        Refresh();
        event.Skip();
    });
    Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
        Refresh();
        event.Skip();
    });
}

void SkinCheckBox::setGlyphStrip(const wxBitmap& strip, int glyph) {
    strip_ = strip;
    strip_.SetMask(new wxMask(strip_, wxColour(255, 0, 255)));
    glyph_ = glyph;
    InvalidateBestSize();
    Refresh();
}

void SkinCheckBox::setState(int check) {
    if (check != check_) {
        check_ = check;
        accessible::setChecked(*this, check != 0);
        Refresh();
    }
}

int SkinCheckBox::glyphIndex() const {
    const int checked = check_ != 0 ? 1 : 0;
    if (!IsEnabled()) {
        return 4 + checked;
    }
    return (pressed_ ? 2 : 0) + checked;
}

bool SkinCheckBox::Enable(bool enable) {
    const bool changed = wxControl::Enable(enable);
    Refresh();
    return changed;
}

void SkinCheckBox::SetLabel(const wxString& label) {
    if (label != GetLabel()) {
        wxControl::SetLabel(label);
        accessible::setName(*this, label);
        InvalidateBestSize();
        Refresh();
    }
}

wxSize SkinCheckBox::DoGetBestSize() const {
    wxClientDC dc(const_cast<SkinCheckBox*>(this));
    dc.SetFont(GetFont());
    const wxSize text = dc.GetTextExtent(GetLabel());
    // At least the text's height ("Dummy" plus 1) and the glyph's.
    const int height = std::max(dc.GetTextExtent("Dummy").y + 1, glyph_);
    return {glyph_ + 6 + text.x, height};
}

void SkinCheckBox::onPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    dc.SetBackground(wxBrush(GetBackgroundColour()));
    dc.Clear();
    const wxSize size = GetClientSize();
    const int glyphY = (size.y - glyph_) / 2;
    const int glyphX = textOnLeft_ ? size.x - glyph_ : 0;
    if (strip_.IsOk()) {
        wxMemoryDC source;
        source.SelectObjectAsSource(strip_);
        dc.Blit(glyphX, glyphY, glyph_, glyph_, &source, glyphIndex() * glyph_, 0, wxCOPY, true);
    }
    dc.SetFont(GetFont());
    const wxSize text = dc.GetTextExtent(GetLabel());
    const int textY = (size.y - text.y) / 2;
    const int textX = textOnLeft_ ? glyphX - 6 - text.x : glyph_ + 5;
    if (glyphIndex() >= 4) {
        // Disabled: embossed, highlight below-right, shadow in place.
        dc.SetTextForeground(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNHIGHLIGHT));
        dc.DrawText(GetLabel(), textX + 1, textY + 1);
        dc.SetTextForeground(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW));
    } else {
        dc.SetTextForeground(GetForegroundColour());
    }
    dc.DrawText(GetLabel(), textX, textY);
    if (HasFocus()) {
        // The keyboard's place: a dotted frame around the text.
        dc.SetPen(wxPen(GetForegroundColour(), 1, wxPENSTYLE_DOT));
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        dc.DrawRectangle(textX - 2, textY - 1, text.x + 4, text.y + 2);
    }
}

}  // namespace quenvara::widgets
