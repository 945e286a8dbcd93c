#pragma once

#include <wx/bitmap.h>
#include <wx/control.h>
#include <wx/region.h>

#include <array>
#include <functional>

namespace quenvara::widgets {

// A push button drawn from up to four state bitmaps, shaped by an optional
// mask: it paints and takes clicks only inside the mask's region.
class SkinButton : public wxControl {
  public:
    enum State { kNormal, kHover, kPressed, kDisabled };

    SkinButton(wxWindow* parent, int id);

    void setBitmaps(const wxBitmap& normal, const wxBitmap& hover, const wxBitmap& pressed,
                    const wxBitmap& disabled);
    // The mask's non-white pixels make the shape; unless `keepSize`, the
    // button takes the mask's size.
    void setMask(const wxBitmap& mask, bool keepSize = false);
    void setOnClick(std::function<void()> onClick) { onClick_ = std::move(onClick); }
    // What lies behind the button on its parent, shown outside the mask;
    // without it, the parent's background colour.
    void setBackdrop(const wxBitmap& backdrop);

    const wxRegion& shape() const { return shape_; }
    State state() const;
    bool Enable(bool enable = true) override;
    bool AcceptsFocus() const override { return IsEnabled() && IsShown(); }

  protected:
    // The tooltip is the button's only text, so it is also its accessible name.
    void DoSetToolTip(wxToolTip* tip) override;

  private:
    void onPaint(wxPaintEvent&);
    void click();
    bool inside(const wxPoint& point) const;

    std::array<wxBitmap, 4> bitmaps_;
    wxBitmap backdrop_;
    wxRegion shape_;
    bool hover_ = false;
    bool pressed_ = false;
    std::function<void()> onClick_;
};

// The region of a mask bitmap by the row-run rule.
wxRegion regionFromMask(const wxBitmap& mask);

}  // namespace quenvara::widgets
