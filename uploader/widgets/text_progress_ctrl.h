#pragma once

#include <wx/control.h>

#include <array>

namespace quenvara::widgets {

// A progress bar with its text drawn over it in two colours, split at the
// bar's edge so each half contrasts with what lies under it.
class TextProgressCtrl : public wxControl {
  public:
    TextProgressCtrl(wxWindow* parent, int id);

    void setRange(double lower, double upper);
    void setPosition(double position);
    void setColours(const wxColour& bar, const wxColour& background,
                    const wxColour& textOnBackground, const wxColour& textOnBar);
    void setShowText(bool show);
    // The custom text; empty shows the percentage.
    void SetLabel(const wxString& text) override;
    // A bar is read, not operated: Tab passes it by.
    bool AcceptsFocus() const override { return false; }

    double position() const { return position_; }
    // The bar's width in pixels at the last paint; -1 when nothing was painted.
    int drawnBarWidth() const { return drawnWidth_; }
    // How often the control asked to be repainted (for the repaint rule).
    int repaintRequests() const { return repaints_; }
    wxString shownText() const;
    // The bar, the background, the text over the background and over the bar.
    std::array<wxColour, 4> colours() const {
        return {bar_, background_, textOnBackground_, textOnBar_};
    }

  private:
    void onPaint(wxPaintEvent&);
    int barWidthFor(double position) const;
    void repaint();
    void announce();

    double lower_ = 0;
    double upper_ = 100;
    double position_ = 0;
    int drawnWidth_ = -1;
    int repaints_ = 0;
    bool showText_ = false;
    wxColour bar_{74, 84, 184};
    wxColour background_{200, 200, 200};
    wxColour textOnBackground_{*wxBLACK};
    wxColour textOnBar_{*wxWHITE};
};

}  // namespace quenvara::widgets
