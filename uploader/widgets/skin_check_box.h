#pragma once

#include <wx/bitmap.h>
#include <wx/control.h>

#include <functional>

namespace quenvara::widgets {

// A check box drawn from a strip of six glyphs, text beside the glyph;
// clicks go to the owner, which decides the state.
class SkinCheckBox : public wxControl {
  public:
    SkinCheckBox(wxWindow* parent, int id, const wxString& text, bool textOnLeft = false);

    void setGlyphStrip(const wxBitmap& strip, int glyph);
    void setState(int check);
    int state() const { return check_; }
    void setOnClick(std::function<void()> onClick) { onClick_ = std::move(onClick); }
    // The glyph shown: 0..5 (normal, pressed and disabled, each unchecked and
    // checked).
    int glyphIndex() const;

    wxSize DoGetBestSize() const override;
    bool Enable(bool enable = true) override;
    void SetLabel(const wxString& label) override;
    bool AcceptsFocus() const override { return IsEnabled() && IsShown(); }

  private:
    void onPaint(wxPaintEvent&);

    wxBitmap strip_;
    int glyph_ = 13;
    int check_ = 0;
    bool pressed_ = false;
    bool textOnLeft_;
    std::function<void()> onClick_;
};

}  // namespace quenvara::widgets
