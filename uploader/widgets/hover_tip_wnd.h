#pragma once

#include <wx/popupwin.h>

namespace quenvara::widgets {

// A label that pops up while the mouse is over its target (and, when asked,
// a modifier key is held), provided the focus is within the target's parent.
class HoverTipWnd : public wxPopupWindow {
  public:
    enum class Placement { Below, Above, Right };

    HoverTipWnd(wxWindow* target, const wxString& text);

    void setText(const wxString& text);
    void setColours(const wxColour& text, const wxColour& fill, bool filled);
    void setPlacement(Placement placement) { placement_ = placement; }
    // 0 for none, else a wxMOD_* mask that must be held.
    void setModifier(int modifiers) { modifiers_ = modifiers; }

    // The rule, from a mouse position on screen and the keys held.
    bool shouldShow(const wxPoint& screenPoint, int modifiersHeld, bool focusInParent) const;

  private:
    void track(const wxPoint& screenPoint, int modifiersHeld);
    void onPaint(wxPaintEvent&);

    wxWindow* target_;
    wxString text_;
    wxColour textColour_{*wxBLACK};
    wxColour fillColour_{255, 255, 225};
    bool filled_ = true;
    Placement placement_ = Placement::Below;
    int modifiers_ = 0;
};

}  // namespace quenvara::widgets
