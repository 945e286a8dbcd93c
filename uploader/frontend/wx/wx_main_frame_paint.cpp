#include "uploader/frontend/wx/wx_main_frame.h"

#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>

#include <algorithm>
#include <vector>

#include "uploader/app/upload_main_window.h"
#include "uploader/widgets/skin_frame.h"

namespace quenvara::uploader::wxui {

namespace {

wxString u8(std::string_view text) {
    return wxString::FromUTF8(text.data(), text.size());
}

const wxColour kOutline(99, 99, 99);

}  // namespace

// The frame's own drawing: the caption band with the caption, the progress
// area's frame, the outline and the sizing grip.

wxRect WxMainFrame::captionRoom() const {
    const int left = 12 + 40;
    const int right = buttons_.at(control::kHide)->GetPosition().x - 8;
    return wxRect(left, 20, std::max(right - left, 0), widgets::kCaptionBand - 24);
}

void WxMainFrame::paintCaptionBand(wxDC& dc, const wxSize& size) const {
    dc.GradientFillLinear(wxRect(2, 2, size.x - 4, widgets::kCaptionBand - 2),
                          wxColour(228, 232, 248), *wxWHITE, wxSOUTH);
    dc.SetPen(wxPen(wxColour(210, 214, 232)));
    dc.DrawLine(2, widgets::kCaptionBand, size.x - 2, widgets::kCaptionBand);
}

void WxMainFrame::setCaptionBackdrops() {
    // The buttons on the caption band show the band around their shapes.
    const wxSize size = GetClientSize();
    if (size.x <= 4) {
        return;
    }
    wxBitmap band(size.x, widgets::kCaptionBand + 1);
    {
        wxMemoryDC dc(band);
        dc.SetBackground(*wxWHITE_BRUSH);
        dc.Clear();
        paintCaptionBand(dc, size);
    }
    const wxRect bandRect(0, 0, band.GetWidth(), band.GetHeight());
    for (auto& [id, button] : buttons_) {
        const wxRect r = button->GetRect();
        if (bandRect.Contains(r)) {
            button->setBackdrop(band.GetSubBitmap(r));
        }
    }
}

void WxMainFrame::onPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    const wxSize size = GetClientSize();
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    paintCaptionBand(dc, size);
    // The caption, on the band itself, cut only where the buttons begin.
    const wxRect room = captionRoom();
    dc.SetFont(captionFont_);
    dc.SetTextForeground(wxColour(74, 84, 184));
    dc.SetClippingRegion(room);
    dc.DrawText(u8(kWindowCaption), room.x, room.y);
    dc.DestroyClippingRegion();
    // The progress area's frame.
    dc.SetPen(wxPen(wxColour(220, 220, 220)));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(groupBox_);
    // The outline along the window's shape, two pixels wide.
    const auto points = widgets::windowPolygon(size.x - 1, size.y - 1);
    std::vector<wxPoint> polygon;
    for (const auto& [x, y] : points) {
        polygon.emplace_back(x, y);
    }
    dc.SetPen(wxPen(kOutline, 2));
    dc.DrawLines(static_cast<int>(polygon.size()), polygon.data());
    // The sizing grip in the bottom-right corner.
    dc.SetPen(wxPen(kOutline));
    for (int i = 4; i <= 12; i += 4) {
        dc.DrawLine(size.x - 3 - i, size.y - 3, size.x - 3, size.y - 3 - i);
    }
}

}  // namespace quenvara::uploader::wxui
