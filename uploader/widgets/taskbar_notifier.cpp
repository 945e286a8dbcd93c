#include "uploader/widgets/taskbar_notifier.h"

#include <wx/dcbuffer.h>
#include <wx/display.h>
#include <wx/region.h>

#include <optional>

#include "uploader/widgets/skin_bitmaps.h"

namespace quenvara::widgets {

namespace {

wxFont styledFont(const wxString& face, int tenthsOfPoint, int style) {
    wxFontInfo info(tenthsOfPoint / 10.0);
    info.FaceName(face);
    info.Bold((style & CTaskbarNotifier::kBold) != 0);
    info.Italic((style & CTaskbarNotifier::kItalic) != 0);
    info.Underlined((style & CTaskbarNotifier::kUnderline) != 0);
    return wxFont(info);
}

PixelRect toPixels(const wxRect& r) {
    return {r.x, r.y, r.width, r.height};
}

}  // namespace

wxArrayString wrapText(wxDC& dc, const wxString& text, int width, int height) {
    wxArrayString lines;
    const int lineHeight = std::max(dc.GetCharHeight(), 1);
    const std::size_t maxLines = static_cast<std::size_t>(std::max(height / lineHeight, 1));
    wxString line;
    bool cut = false;
    for (std::size_t i = 0; i < text.length() && !cut; ++i) {
        const wxUniChar c = text[i];
        if (c == '\n') {
            lines.Add(line);
            line.clear();
        } else {
            wxString next = line + c;
            if (dc.GetTextExtent(next).x > width && !line.empty()) {
                // Break at the last space when there is one, else here.
                const int space = line.Find(' ', true);
                if (space > 0) {
                    lines.Add(line.Left(static_cast<std::size_t>(space)));
                    next = line.Mid(static_cast<std::size_t>(space) + 1) + c;
                } else {
                    lines.Add(line);
                    next = wxString(c);
                }
            }
            line = next;
        }
        if (lines.size() >= maxLines) {
            cut = i + 1 < text.length() || !line.empty();
        }
    }
    if (!cut && !line.empty()) {
        lines.Add(line);
    }
    if (lines.size() > maxLines) {
        cut = true;
        lines.resize(maxLines);
    }
    if (cut && !lines.empty()) {
        wxString& last = lines.Last();
        while (!last.empty() && dc.GetTextExtent(last + "...").x > width) {
            last.RemoveLast();
        }
        last += "...";
    }
    return lines;
}

CTaskbarNotifier::CTaskbarNotifier(wxWindow* owner)
    : wxFrame(owner, wxID_ANY, "", wxDefaultPosition, wxSize(1, 1),
              wxBORDER_NONE | wxFRAME_NO_TASKBAR | wxSTAY_ON_TOP | wxFRAME_SHAPED |
                  wxFRAME_FLOAT_ON_PARENT) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetCursor(wxCursor(wxCURSOR_HAND));
    normalFont_ = GetFont();
    hoverFont_ = GetFont();
    setSkin(skin::notifierSkin());
    Bind(wxEVT_PAINT, &CTaskbarNotifier::onPaint, this);
    Bind(wxEVT_ENTER_WINDOW, [this](wxMouseEvent&) {
        hover_ = true;
        Refresh(false);
    });
    Bind(wxEVT_LEAVE_WINDOW, [this](wxMouseEvent&) {
        hover_ = false;
        Refresh(false);
    });
    Bind(wxEVT_LEFT_UP, [this](wxMouseEvent& event) {
        // The window shows the skin's top-left part as it slides out, so
        // client points are skin points.
        motion_->onClick(event.GetPosition().x, event.GetPosition().y);
    });
}

CTaskbarNotifier::~CTaskbarNotifier() {
    for (auto& [id, timer] : timers_) {
        timer->Stop();
    }
}

void CTaskbarNotifier::setSkin(const wxBitmap& skin, long transparent) {
    skin_ = skin;
    const wxSize size = skin.GetSize();
    auto textRect = motion_ ? std::optional(textRect_) : std::nullopt;
    motion_ = std::make_unique<NotifierMotion>(static_cast<NotifierTimers&>(*this), size.x, size.y);
    if (textRect) {
        setTextRect(*textRect);
    }
    if (transparent >= 0) {
        wxRegion region;
        const auto colour = static_cast<std::uint32_t>(transparent);
        for (const auto& run : opaqueRuns(skin::toRgbImage(skin.ConvertToImage()), colour)) {
            region.Union(run.x, run.y, run.width, run.height);
        }
        SetShape(region);
    }
}

void CTaskbarNotifier::setTextFont(const wxString& face, int tenthsOfPoint, int normalStyle,
                                   int hoverStyle) {
    normalFont_ = styledFont(face, tenthsOfPoint, normalStyle);
    hoverFont_ = styledFont(face, tenthsOfPoint, hoverStyle);
}

void CTaskbarNotifier::setTextColours(const wxColour& normal, const wxColour& hover) {
    normalColour_ = normal;
    hoverColour_ = hover;
}

void CTaskbarNotifier::setTextRect(const wxRect& rect) {
    textRect_ = rect;
    motion_->setTextRect(toPixels(rect));
}

void CTaskbarNotifier::showText(const wxString& text, int appearMs, int stayMs, int disappearMs) {
    text_ = text;
    const int displayIndex = wxDisplay::GetFromWindow(GetParent());
    const wxDisplay display(displayIndex == wxNOT_FOUND ? 0u : static_cast<unsigned>(displayIndex));
    if (motion_->show(toPixels(display.GetGeometry()), toPixels(display.GetClientArea()), appearMs,
                      stayMs, disappearMs)) {
        Refresh(false);
    }
    place();
}

void CTaskbarNotifier::hideNow() {
    motion_->hide();
    place();
}

void CTaskbarNotifier::start(int id, int milliseconds) {
    auto& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<wxTimer>();
        timer->Bind(wxEVT_TIMER, [this, id](wxTimerEvent&) {
            motion_->onTimer(id);
            place();
        });
    }
    timer->Start(milliseconds);
}

void CTaskbarNotifier::stop(int id) {
    if (auto it = timers_.find(id); it != timers_.end()) {
        it->second->Stop();
    }
}

void CTaskbarNotifier::place() {
    const PixelRect r = motion_->windowRect();
    placed_ = wxRect(r.x, r.y, r.width, r.height);
    if (r.width <= 0 || r.height <= 0) {
        if (IsShown()) {
            Hide();
        }
        return;
    }
    SetSize(placed_);
    if (!IsShown()) {
        ShowWithoutActivating();
    }
    Refresh(false);
}

void CTaskbarNotifier::onPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    dc.DrawBitmap(skin_, 0, 0);
    dc.SetFont(hover_ ? hoverFont_ : normalFont_);
    dc.SetTextForeground(hover_ ? hoverColour_ : normalColour_);
    const wxRect area = wxRect(textRect_).Deflate(10, 20);
    const wxArrayString lines = wrapText(dc, text_, area.width, area.height);
    const int lineHeight = dc.GetCharHeight();
    int y = area.y + (area.height - lineHeight * static_cast<int>(lines.size())) / 2;
    for (const auto& line : lines) {
        const int x = area.x + (area.width - dc.GetTextExtent(line).x) / 2;
        dc.DrawText(line, x, y);
        y += lineHeight;
    }
}

}  // namespace quenvara::widgets
