#include "uploader/widgets/skin_bitmaps.h"

#include <wx/dcmemory.h>
#include <wx/graphics.h>

#include <cmath>

namespace quenvara::widgets::skin {

namespace {

const wxColour kInk(99, 99, 99);
const wxColour kBlue(74, 84, 184);

wxBitmap blank(wxSize size, const wxColour& fill) {
    wxBitmap bitmap(size, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(fill));
    dc.Clear();
    return bitmap;
}

void drawGlyph(wxDC& dc, ButtonGlyph glyph, const wxRect& r, const wxColour& ink) {
    dc.SetPen(wxPen(ink, 2));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    const wxPoint c(r.x + r.width / 2, r.y + r.height / 2);
    const int s = std::max(3, std::min(r.width, r.height) / 4);
    switch (glyph) {
        case ButtonGlyph::Start: {
            dc.SetBrush(wxBrush(ink));
            const wxPoint tri[] = {{c.x - s, c.y - s}, {c.x + s, c.y}, {c.x - s, c.y + s}};
            dc.DrawPolygon(3, tri);
            break;
        }
        case ButtonGlyph::Stop:
            dc.SetBrush(wxBrush(ink));
            dc.DrawRectangle(c.x - s, c.y - s, 2 * s, 2 * s);
            break;
        case ButtonGlyph::Close:
            dc.DrawLine(c.x - s, c.y - s, c.x + s, c.y + s);
            dc.DrawLine(c.x + s, c.y - s, c.x - s, c.y + s);
            break;
        case ButtonGlyph::Minimize:
            dc.DrawLine(c.x - s, c.y + s / 2, c.x + s, c.y + s / 2);
            break;
        case ButtonGlyph::Maximize:
            dc.DrawRectangle(c.x - s, c.y - s, 2 * s, 2 * s);
            break;
        case ButtonGlyph::Restore:
            dc.DrawRectangle(c.x - s, c.y - s / 2, 3 * s / 2, 3 * s / 2);
            dc.DrawLine(c.x - s / 2, c.y - s, c.x + s, c.y - s);
            dc.DrawLine(c.x + s, c.y - s, c.x + s, c.y + s / 2);
            break;
        case ButtonGlyph::Hide: {
            const wxPoint tri[] = {{c.x - s, c.y - s / 2}, {c.x + s, c.y - s / 2}, {c.x, c.y + s}};
            dc.DrawPolygon(3, tri);
            break;
        }
        case ButtonGlyph::Delete:
            dc.DrawRectangle(c.x - s + 1, c.y - s + 2, 2 * s - 2, 2 * s - 1);
            dc.DrawLine(c.x - s - 1, c.y - s, c.x + s + 1, c.y - s);
            break;
        case ButtonGlyph::Dot:
            dc.SetBrush(wxBrush(ink));
            dc.DrawCircle(c, std::max(1, s / 2));
            break;
        case ButtonGlyph::Wait:
            dc.DrawText("OK", c.x - dc.GetTextExtent("OK").x / 2, c.y - dc.GetCharHeight() / 2);
            break;
    }
}

}  // namespace

wxBitmap checkGlyphStrip(int glyph) {
    wxBitmap strip = blank({glyph * 6, glyph}, kMagenta);
    wxMemoryDC dc(strip);
    for (int state = 0; state < 6; ++state) {
        const wxRect box(state * glyph + 1, 1, glyph - 2, glyph - 2);
        const bool disabled = state >= 4;
        const bool pressed = state == 2 || state == 3;
        const bool checked = state % 2 == 1;
        dc.SetPen(wxPen(disabled ? wxColour(170, 170, 170) : kInk));
        dc.SetBrush(wxBrush(pressed ? wxColour(220, 224, 245) : *wxWHITE));
        dc.DrawRectangle(box);
        if (checked) {
            dc.SetPen(wxPen(disabled ? wxColour(150, 150, 150) : kBlue, 2));
            dc.DrawLine(box.x + 2, box.y + box.height / 2, box.x + box.width / 2 - 1,
                        box.y + box.height - 3);
            dc.DrawLine(box.x + box.width / 2 - 1, box.y + box.height - 3, box.x + box.width - 2,
                        box.y + 2);
        }
    }
    return strip;
}

wxBitmap buttonMask(wxSize size, int radius) {
    wxBitmap mask = blank(size, *wxWHITE);
    wxMemoryDC dc(mask);
    dc.SetPen(*wxBLACK_PEN);
    dc.SetBrush(*wxBLACK_BRUSH);
    dc.DrawRoundedRectangle(0, 0, size.x, size.y, radius);
    return mask;
}

wxBitmap buttonFace(ButtonGlyph glyph, ButtonFace face, wxSize size) {
    wxBitmap bitmap = blank(size, *wxWHITE);
    wxMemoryDC dc(bitmap);
    wxColour fill(236, 238, 246);
    wxColour ink = kBlue;
    if (face == ButtonFace::Hover) {
        fill = wxColour(214, 220, 246);
    } else if (face == ButtonFace::Pressed) {
        fill = wxColour(180, 188, 232);
    } else if (face == ButtonFace::Disabled) {
        fill = wxColour(235, 235, 235);
        ink = wxColour(170, 170, 170);
    }
    if (glyph == ButtonGlyph::Stop && face != ButtonFace::Disabled) {
        ink = wxColour(190, 40, 40);
    }
    const int radius = std::min(size.x, size.y) > 24 ? 10 : 6;
    dc.SetPen(wxPen(kInk));
    dc.SetBrush(wxBrush(fill));
    dc.DrawRoundedRectangle(0, 0, size.x, size.y, radius);
    drawGlyph(dc, glyph, wxRect(size), ink);
    return bitmap;
}

wxBitmap notifierSkin() {
    const wxSize size(220, 120);
    wxBitmap bitmap = blank(size, *wxWHITE);
    wxMemoryDC dc(bitmap);
    dc.GradientFillLinear(wxRect(size), wxColour(232, 236, 250), *wxWHITE, wxSOUTH);
    dc.SetPen(wxPen(kInk));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(wxRect(size));
    dc.SetBrush(wxBrush(kBlue));
    dc.DrawRectangle(1, 1, size.x - 2, 30);
    dc.SetTextForeground(*wxWHITE);
    dc.SetFont(wxFont(wxFontInfo(9).Bold()));
    dc.DrawText(wxString::FromUTF8("퀜바라"), 10, 7);
    // The close spot: 20 to 10 pixels left of the right edge, 9 to 20 down.
    dc.SetPen(wxPen(*wxWHITE, 2));
    dc.DrawLine(size.x - 19, 10, size.x - 11, 19);
    dc.DrawLine(size.x - 11, 10, size.x - 19, 19);
    return bitmap;
}

wxIcon trayFrame(int frame) {
    const wxSize size(22, 22);
    const auto draw = [&](wxDC& dc, const wxColour& body, const wxColour& arrow) {
        dc.SetPen(wxPen(body));
        dc.SetBrush(wxBrush(body));
        dc.DrawRoundedRectangle(1, 1, 20, 20, 4);
        // An arrow that rises a little in each frame of the animation.
        const int lift = frame == 0 ? 0 : (frame - 1) % 8;
        const int top = 13 - lift;
        dc.SetPen(wxPen(arrow, 2));
        dc.SetBrush(wxBrush(arrow));
        const wxPoint head[] = {{11, top - 5}, {16, top}, {6, top}};
        dc.DrawPolygon(3, head);
        dc.DrawLine(11, top, 11, std::min(top + 7, 19));
    };
    wxBitmap picture = blank(size, kBlue);
    {
        wxMemoryDC dc(picture);
        draw(dc, kBlue, *wxWHITE);
    }
    // The shape's coverage, white on black: the smoothed corners become
    // partly transparent rather than blends with a mask colour, which
    // would show at the icon's corners.
    wxBitmap coverage = blank(size, *wxBLACK);
    {
        wxMemoryDC dc(coverage);
        draw(dc, *wxWHITE, *wxWHITE);
    }
    wxImage image = picture.ConvertToImage();
    const wxImage cover = coverage.ConvertToImage();
    image.InitAlpha();
    for (int y = 0; y < size.y; ++y) {
        for (int x = 0; x < size.x; ++x) {
            image.SetAlpha(x, y, cover.GetRed(x, y));
        }
    }
    wxIcon icon;
    icon.CopyFromBitmap(wxBitmap(image));
    return icon;
}

wxBitmap folderWaitBackground() {
    const wxSize size(260, 110);
    wxBitmap bitmap = blank(size, *wxWHITE);
    wxMemoryDC dc(bitmap);
    dc.GradientFillLinear(wxRect(size), wxColour(236, 238, 250), *wxWHITE, wxSOUTH);
    dc.SetPen(wxPen(kInk, 2));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(1, 1, size.x - 2, size.y - 2);
    dc.SetTextForeground(kInk);
    dc.DrawText(wxString::FromUTF8("폴더를 읽는 중입니다..."), 70, 24);
    return bitmap;
}

wxBitmap folderWaitFrame(int frame) {
    const wxSize size(40, 40);
    wxBitmap bitmap = blank(size, *wxWHITE);
    wxMemoryDC dc(bitmap);
    // A ring of nine dots with one lit.
    for (int i = 0; i < 9; ++i) {
        const double angle = 2 * M_PI * i / 9.0;
        const int x = 20 + static_cast<int>(std::lround(14 * std::sin(angle)));
        const int y = 20 - static_cast<int>(std::lround(14 * std::cos(angle)));
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.SetBrush(wxBrush(i == frame % 9 ? kBlue : wxColour(200, 204, 228)));
        dc.DrawCircle(x, y, 4);
    }
    return bitmap;
}

RgbImage toRgbImage(const wxImage& image) {
    RgbImage out;
    out.width = image.GetWidth();
    out.height = image.GetHeight();
    const auto* data = image.GetData();
    out.pixels.assign(data, data + static_cast<std::size_t>(out.width) *
                                       static_cast<std::size_t>(out.height) * 3);
    return out;
}

}  // namespace quenvara::widgets::skin
