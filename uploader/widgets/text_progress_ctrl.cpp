#include "uploader/widgets/text_progress_ctrl.h"

#include <wx/dcbuffer.h>

#include "uploader/widgets/accessible.h"
#include "uploader/widgets/progress_geometry.h"

namespace quenvara::widgets {

TextProgressCtrl::TextProgressCtrl(wxWindow* parent, int id)
    : wxControl(parent, id, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    accessible::expose(*this, accessible::Role::ProgressBar);
    announce();
    Bind(wxEVT_PAINT, &TextProgressCtrl::onPaint, this);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        repaint();
        event.Skip();
    });
}

void TextProgressCtrl::repaint() {
    ++repaints_;
    Refresh(false);
    announce();
}

// The value goes to assistive technologies as the text the bar shows, or as
// its percentage when it shows none.
void TextProgressCtrl::announce() {
    wxString text = shownText();
    if (text.empty() && upper_ > lower_) {
        text.Printf("%d%%", static_cast<int>((position_ - lower_) * 100 / (upper_ - lower_)));
    }
    accessible::setValue(*this, lower_, upper_, position_, text);
}

int TextProgressCtrl::barWidthFor(double position) const {
    const auto fill = progressFill(lower_, upper_, position, GetClientSize().x, false, "");
    return fill ? fill->barWidth : -1;
}

void TextProgressCtrl::setRange(double lower, double upper) {
    if (lower != lower_ || upper != upper_) {
        lower_ = lower;
        upper_ = upper;
        repaint();
    }
}

void TextProgressCtrl::setPosition(double position) {
    // Only a change of the bar's pixel width is worth a paint.
    const bool widthChanged = barWidthFor(position) != barWidthFor(position_);
    position_ = position;
    if (widthChanged) {
        repaint();
    } else {
        announce();
    }
}

void TextProgressCtrl::setColours(const wxColour& bar, const wxColour& background,
                                  const wxColour& textOnBackground, const wxColour& textOnBar) {
    bar_ = bar;
    background_ = background;
    textOnBackground_ = textOnBackground;
    textOnBar_ = textOnBar;
    repaint();
}

void TextProgressCtrl::setShowText(bool show) {
    if (show != showText_) {
        showText_ = show;
        repaint();
    }
}

void TextProgressCtrl::SetLabel(const wxString& text) {
    if (text != GetLabel()) {
        wxControl::SetLabel(text);
        repaint();
    }
}

wxString TextProgressCtrl::shownText() const {
    const auto fill = progressFill(lower_, upper_, position_, std::max(GetClientSize().x, 1),
                                   showText_, GetLabel().utf8_string());
    return fill ? wxString::FromUTF8(fill->text) : wxString();
}

void TextProgressCtrl::onPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    const wxSize size = GetClientSize();
    const auto fill =
        progressFill(lower_, upper_, position_, size.x, showText_, GetLabel().utf8_string());
    if (!fill) {
        // A reversed or empty range paints nothing of the bar.
        drawnWidth_ = -1;
        dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
        dc.Clear();
        return;
    }
    drawnWidth_ = fill->barWidth;
    const wxRect barRect(0, 0, fill->barWidth, size.y);
    const wxRect restRect(fill->barWidth, 0, size.x - fill->barWidth, size.y);
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(bar_));
    dc.DrawRectangle(barRect);
    dc.SetBrush(wxBrush(background_));
    dc.DrawRectangle(restRect);
    if (fill->text.empty()) {
        return;
    }
    const wxString text = wxString::FromUTF8(fill->text);
    dc.SetFont(GetFont());
    const wxSize extent = dc.GetTextExtent(text);
    const int x = (size.x - extent.x) / 2;
    const int y = (size.y - extent.y) / 2;
    {
        wxDCClipper clip(dc, barRect);
        dc.SetTextForeground(textOnBar_);
        dc.DrawText(text, x, y);
    }
    {
        wxDCClipper clip(dc, restRect);
        dc.SetTextForeground(textOnBackground_);
        dc.DrawText(text, x, y);
    }
}

}  // namespace quenvara::widgets
