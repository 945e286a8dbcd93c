#include "uploader/frontend/wx/wx_main_frame.h"

#include <wx/artprov.h>
#include <wx/dcbuffer.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/display.h>
#include <wx/hyperlink.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/region.h>
#include <wx/sizer.h>

#include <algorithm>
#include <sstream>

#include "uploader/app/list_presentation.h"
#include "uploader/app/upload_main_window.h"
#include "uploader/widgets/skin_bitmaps.h"
#include "uploader/widgets/skin_frame.h"

namespace quenvara::uploader::wxui {

namespace {

using widgets::FrameHit;
using widgets::skin::ButtonFace;
using widgets::skin::ButtonGlyph;

wxString u8(std::string_view text) {
    return wxString::FromUTF8(text.data(), text.size());
}

const wxColour kOutline(99, 99, 99);

// The check boxes' glyph strip (bitmap 299) has 13-pixel glyphs.
constexpr int kGlyphSize = 13;

struct ButtonSpec {
    int id;
    ButtonGlyph glyph;
    wxSize size;
};

constexpr int kSmall = 22;
const ButtonSpec kButtons[] = {
    {control::kStartStop, ButtonGlyph::Start, {72, 30}},
    {control::kDelete, ButtonGlyph::Delete, {72, 30}},
    {control::kClose, ButtonGlyph::Close, {72, 30}},
    {control::kClose2, ButtonGlyph::Close, {kSmall, kSmall}},
    {control::kMaximize, ButtonGlyph::Maximize, {kSmall, kSmall}},
    {control::kMinimize, ButtonGlyph::Minimize, {kSmall, kSmall}},
    {control::kHide, ButtonGlyph::Hide, {kSmall, kSmall}},
    {1037, ButtonGlyph::Dot, {10, 10}},
    {1038, ButtonGlyph::Dot, {10, 10}},
    {1039, ButtonGlyph::Dot, {10, 10}},
};

void setFaces(widgets::SkinButton& button, ButtonGlyph glyph, wxSize size) {
    button.setBitmaps(widgets::skin::buttonFace(glyph, ButtonFace::Normal, size),
                      widgets::skin::buttonFace(glyph, ButtonFace::Hover, size),
                      widgets::skin::buttonFace(glyph, ButtonFace::Pressed, size),
                      widgets::skin::buttonFace(glyph, ButtonFace::Disabled, size));
}

wxStockCursor cursorFor(FrameHit hit) {
    switch (hit) {
        case FrameHit::Left:
        case FrameHit::Right:
            return wxCURSOR_SIZEWE;
        case FrameHit::Top:
        case FrameHit::Bottom:
            return wxCURSOR_SIZENS;
        case FrameHit::TopLeft:
        case FrameHit::BottomRight:
            return wxCURSOR_SIZENWSE;
        case FrameHit::TopRight:
        case FrameHit::BottomLeft:
            return wxCURSOR_SIZENESW;
        case FrameHit::Move:
        case FrameHit::Client:
            break;
    }
    return wxCURSOR_ARROW;
}

// The freedesktop icon name for a file of this name.
std::string iconNameFor(const std::string& name, int kind) {
    if (kind == 2) {
        return "folder";
    }
    auto dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const std::map<std::string, std::string> kByExtension = {
        {"mp3", "audio-x-generic"},  {"ogg", "audio-x-generic"},   {"wma", "audio-x-generic"},
        {"wav", "audio-x-generic"},  {"jpg", "image-x-generic"},   {"jpeg", "image-x-generic"},
        {"png", "image-x-generic"},  {"gif", "image-x-generic"},   {"bmp", "image-x-generic"},
        {"avi", "video-x-generic"},  {"mp4", "video-x-generic"},   {"mkv", "video-x-generic"},
        {"txt", "text-x-generic"},   {"zip", "package-x-generic"}, {"img", "package-x-generic"},
        {"iso", "package-x-generic"}};
    auto it = kByExtension.find(ext);
    return it != kByExtension.end() ? it->second : "text-x-generic";
}

}  // namespace

WxMainFrame::WxMainFrame(const DialogView& view, const CFileListView& list,
                         const std::string& webSite)
    : wxFrame(nullptr, wxID_ANY, u8(kWindowCaption), wxDefaultPosition,
              wxSize(kMinimumSize, kMinimumSize), wxBORDER_NONE | wxFRAME_SHAPED),
      view_(view),
      list_(list) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetBackgroundColour(*wxWHITE);
    SetMinSize(wxSize(kMinimumSize, kMinimumSize));
    SetIcon(widgets::skin::trayFrame(0));
    createControls(webSite);
    Bind(wxEVT_PAINT, &WxMainFrame::onPaint, this);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        const wxSize size = GetClientSize();
        const auto points = widgets::windowPolygon(size.x, size.y);
        std::vector<wxPoint> polygon;
        for (const auto& [x, y] : points) {
            polygon.emplace_back(x, y);
        }
        SetShape(wxRegion(polygon.size(), polygon.data()));
        layoutControls();
        Refresh(false);
        event.Skip();
    });
    Bind(wxEVT_LEFT_DOWN, &WxMainFrame::onLeftDown, this);
    Bind(wxEVT_LEFT_UP, &WxMainFrame::onLeftUp, this);
    Bind(wxEVT_MOTION, &WxMainFrame::onMotion, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { drag_ = 0; });
    Bind(wxEVT_LEFT_DCLICK, [this](wxMouseEvent& event) {
        if (event.GetPosition().y < widgets::kCaptionBand) {
            command(control::kMaximize);
        }
    });
    Bind(wxEVT_RIGHT_UP, [this](wxMouseEvent& event) {
        if (event.GetPosition().y < widgets::kCaptionBand) {
            showSystemMenu(event.GetPosition());
        }
    });
    // The window never closes by keyboard.
    Bind(wxEVT_CHAR_HOOK, [](wxKeyEvent& event) {
        const int key = event.GetKeyCode();
        if (key == WXK_RETURN || key == WXK_NUMPAD_ENTER || key == WXK_ESCAPE || key == WXK_F12) {
            return;
        }
        event.Skip();
    });
    // The desktop's close (a window manager's button, Alt+F4) hides to the
    // tray; the window logic decides.
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
        if (event.CanVeto() && window_ != nullptr) {
            event.Veto();
            window_->onSystemClose();
            refresh();
            return;
        }
        event.Skip();
    });
    Bind(wxEVT_ICONIZE, [this](wxIconizeEvent& event) {
        // Restored by the desktop rather than by our own buttons.
        if (!event.IsIconized() && window_ != nullptr &&
            view_.windowState() == WindowState::Minimized) {
            shownState_ = IsMaximized() ? WindowState::Maximized : WindowState::Normal;
            window_->onWindowStateChanged(shownState_);
        }
        event.Skip();
    });
    Centre();
}

void WxMainFrame::createControls(const std::string& webSite) {
    captionFont_ = GetFont().Bold().Larger();

    for (const auto& spec : kButtons) {
        auto* button = new widgets::SkinButton(this, spec.id);
        setFaces(*button, spec.glyph, spec.size);
        // Large buttons have the rounder corners.
        button->setMask(widgets::skin::buttonMask(spec.size, spec.size.y > 24 ? 10 : 6));
        const int id = spec.id;
        button->setOnClick([this, id] { command(id); });
        if (id >= 1037) {
            button->Enable(false);
        }
        buttons_[id] = button;
    }
    buttons_[control::kStartStop]->SetToolTip(u8("시작 / 정지"));
    buttons_[control::kDelete]->SetToolTip(u8("완료된 항목 삭제"));
    buttons_[control::kClose]->SetToolTip(u8("종료"));
    buttons_[control::kHide]->SetToolTip(u8("감추기"));
    looks_[control::kStartStop] = ButtonLook::Start;

    for (int id :
         {control::kShutdownCheck, control::kCloseWindowCheck, control::kNotificationsOffCheck}) {
        auto* box = new widgets::SkinCheckBox(this, id, u8(view_.text(id)));
        box->setGlyphStrip(widgets::skin::checkGlyphStrip(kGlyphSize), kGlyphSize);
        box->setOnClick([this, id] {
            if (window_ != nullptr) {
                window_->clickCheckBox(id);
                refresh();
            }
        });
        checks_[id] = box;
    }

    const std::pair<int, const char*> labels[] = {{1021, "남은시간 :"},
                                                  {1022, "속도 :"},
                                                  {1024, "파일위치"},
                                                  {1027, "전송 완료 후"},
                                                  {1034, "현재파일 :"}};
    for (const auto& [id, text] : labels) {
        statics_[id] = new wxStaticText(this, id, u8(text));
    }
    for (int id : {control::kCurrentFile, control::kRemainingTime, control::kSpeed}) {
        statics_[id] = new wxStaticText(this, id, u8(view_.text(id)), wxDefaultPosition,
                                        wxDefaultSize, wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_MIDDLE);
    }
    for (auto& [id, label] : statics_) {
        label->SetBackgroundColour(*wxWHITE);
    }

    pathBox_ = new wxTextCtrl(this, control::kPathBox, "", wxDefaultPosition, wxDefaultSize,
                              wxTE_READONLY);
    overall_ = new widgets::TextProgressCtrl(this, control::kOverallBar);
    overall_->setColours(wxColour(74, 84, 184), wxColour(200, 200, 200), *wxBLACK, *wxWHITE);
    overall_->setShowText(true);

    listCtrl_ =
        new wxListCtrl(this, 1009, wxDefaultPosition, wxDefaultSize, wxLC_REPORT | wxBORDER_SIMPLE);
    for (std::size_t c = 0; c < list_presentation::kHeadings.size(); ++c) {
        listCtrl_->AppendColumn(u8(list_presentation::kHeadings[c]), wxLIST_FORMAT_CENTRE);
    }
    const auto widths = list_presentation::columnWidths(kMinimumSize - 24, true);
    for (int c = 0; c < CFileListView::kColumnCount; ++c) {
        listCtrl_->SetColumnWidth(c, widths[static_cast<std::size_t>(c)]);
    }
    listCtrl_->SetImageList(&icons_, wxIMAGE_LIST_SMALL);
    auto onSelection = [this](wxListEvent& event) {
        std::vector<int> rows;
        for (long i = listCtrl_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); i != -1;
             i = listCtrl_->GetNextItem(i, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
            rows.push_back(static_cast<int>(i));
        }
        if (window_ != nullptr) {
            window_->onRowClick(rows);
        }
        event.Skip();
    };
    listCtrl_->Bind(wxEVT_LIST_ITEM_SELECTED, onSelection);
    listCtrl_->Bind(wxEVT_LIST_ITEM_DESELECTED, onSelection);
    rowBar_ = new widgets::TextProgressCtrl(listCtrl_, wxID_ANY);
    rowBar_->setColours(wxColour(255, 165, 33), *wxWHITE, *wxBLACK, *wxWHITE);
    rowBar_->Hide();

    // The service's banner pages, as links: this build has no web view.
    auto* strip = new wxPanel(this, 10000);
    strip->SetBackgroundColour(wxColour(244, 246, 252));
    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    const std::pair<const char*, const char*> pages[] = {{"퀜바라 가기", ""},
                                                         {"알림", "/img/app/dn_popup.htm"},
                                                         {"안내", "/img/app/dn_mid_popup.htm"}};
    for (const auto& [text, page] : pages) {
        sizer->Add(new wxHyperlinkCtrl(strip, wxID_ANY, u8(text), u8(webSite + page)), 0,
                   wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 10);
    }
    strip->SetSizer(sizer);
    bannerStrip_ = strip;
}

void WxMainFrame::layoutControls() {
    const wxSize size = GetClientSize();
    const int w = size.x;
    const int h = size.y;
    const int margin = 12;

    buttons_[1037]->SetPosition({margin + 2, 24});
    buttons_[1038]->SetPosition({margin + 14, 24});
    buttons_[1039]->SetPosition({margin + 26, 24});
    int x = w - margin - kSmall;
    for (int id : {control::kClose2, control::kMaximize, control::kMinimize, control::kHide}) {
        buttons_[id]->SetPosition({x, 18});
        x -= kSmall + 4;
    }

    const int buttonsTop = h - margin - 30;
    x = w - margin - 72;
    for (int id : {control::kClose, control::kDelete, control::kStartStop}) {
        buttons_[id]->SetPosition({x, buttonsTop});
        x -= 72 + 6;
    }
    auto bestWidth = [](wxWindow* window) { return window->GetBestSize().x; };
    x = margin;
    statics_[1027]->SetSize(x, buttonsTop + 8, bestWidth(statics_[1027]), -1);
    x += bestWidth(statics_[1027]) + 8;
    for (int id : {control::kShutdownCheck, control::kCloseWindowCheck}) {
        const wxSize best = checks_[id]->GetBestSize();
        checks_[id]->SetSize(x, buttonsTop + (30 - best.y) / 2, best.x, best.y);
        x += best.x + 10;
    }

    const int groupHeight = 112;
    groupBox_ = wxRect(margin, buttonsTop - 8 - groupHeight, w - 2 * margin, groupHeight);
    const int gx = groupBox_.x + 10;
    const int gw = groupBox_.width - 20;
    int y = groupBox_.y + 10;
    const int labelWidth = 70;
    statics_[1034]->SetSize(gx, y, labelWidth, -1);
    statics_[control::kCurrentFile]->SetSize(gx + labelWidth, y, gw - labelWidth, -1);
    y += 24;
    statics_[1024]->SetSize(gx, y + 4, labelWidth, -1);
    pathBox_->SetSize(gx + labelWidth, y, gw - labelWidth, -1);
    y += 30;
    overall_->SetSize(gx, y, gw, 18);
    y += 26;
    statics_[1021]->SetSize(gx, y, labelWidth, -1);
    statics_[control::kRemainingTime]->SetSize(gx + labelWidth, y, 90, -1);
    statics_[1022]->SetSize(gx + labelWidth + 100, y, 50, -1);
    statics_[control::kSpeed]->SetSize(gx + labelWidth + 150, y, 120, -1);
    // The notifications switch sits at the progress area's right end.
    const wxSize off = checks_[control::kNotificationsOffCheck]->GetBestSize();
    checks_[control::kNotificationsOffCheck]->SetSize(gx + gw - off.x, y, off.x, off.y);

    const int bannerTop = groupBox_.y - 6 - 32;
    const int bannerWidth = std::min(541, w - 2 * margin);
    bannerStrip_->SetSize((w - bannerWidth) / 2, bannerTop, bannerWidth, 32);
    bannerStrip_->Layout();

    const int listTop = 66;
    listCtrl_->SetSize(margin, listTop, w - 2 * margin, std::max(bannerTop - 6 - listTop, 40));
    const auto widths = list_presentation::columnWidths(listCtrl_->GetClientSize().x, false);
    for (int c = 0; c < CFileListView::kColumnCount; ++c) {
        listCtrl_->SetColumnWidth(c, widths[static_cast<std::size_t>(c)]);
    }
    geometry_.measure(*listCtrl_);
    placeRowBar();
    setCaptionBackdrops();
}

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

void WxMainFrame::connect(UploadMainWindow& window) {
    window_ = &window;
    window.setListGeometry(&geometry_);
}

void WxMainFrame::command(int id) {
    if (window_ == nullptr) {
        return;
    }
    window_->onCommand(id);
    refresh();
}

void WxMainFrame::refresh() {
    if (view_.revision() != viewRevision_) {
        viewRevision_ = view_.revision();
        applyView();
        applyWindowState();
    }
    if (list_.revision() != listRevision_) {
        listRevision_ = list_.revision();
        applyList();
    }
    geometry_.measure(*listCtrl_);
    placeRowBar();
    if (IsMaximized() != maximizedLook_) {
        maximizedLook_ = IsMaximized();
        setFaces(*buttons_[control::kMaximize],
                 maximizedLook_ ? ButtonGlyph::Restore : ButtonGlyph::Maximize, {kSmall, kSmall});
    }
}

void WxMainFrame::applyView() {
    for (auto& [id, label] : statics_) {
        if (id == control::kCurrentFile || id == control::kRemainingTime || id == control::kSpeed) {
            const wxString text = u8(view_.text(id));
            if (label->GetLabel() != text) {
                label->SetLabel(text);
            }
        }
    }
    const wxString path = u8(view_.text(control::kPathBox));
    if (pathBox_->GetValue() != path) {
        pathBox_->ChangeValue(path);
    }
    const ControlState bar = view_.control(control::kOverallBar);
    overall_->setRange(0, bar.upper);
    overall_->setPosition(bar.position);
    overall_->SetLabel(u8(bar.text));
    for (auto& [id, box] : checks_) {
        const ControlState state = view_.control(id);
        box->setState(state.check);
        box->SetLabel(u8(state.text.empty() ? view_.text(id) : state.text));
        if (box->IsEnabled() != state.enabled) {
            box->Enable(state.enabled);
        }
        box->Show(state.visible);
    }
    for (auto& [id, button] : buttons_) {
        if (id >= 1037) {
            continue;
        }
        const ControlState state = view_.control(id);
        if (button->IsEnabled() != state.enabled) {
            button->Enable(state.enabled);
        }
        if (id == control::kStartStop && looks_[id] != state.look) {
            looks_[id] = state.look;
            setFaces(*button,
                     state.look == ButtonLook::Stop ? ButtonGlyph::Stop : ButtonGlyph::Start,
                     {72, 30});
        }
    }
}

int WxMainFrame::iconFor(const std::string& name, int kind) {
    const std::string icon = iconNameFor(name, kind);
    if (auto it = iconIndex_.find(icon); it != iconIndex_.end()) {
        return it->second;
    }
    wxBitmap bitmap = wxArtProvider::GetBitmap(u8(icon), wxART_LIST, wxSize(16, 16));
    if (!bitmap.IsOk()) {
        bitmap = wxArtProvider::GetBitmap(kind == 2 ? wxART_FOLDER : wxART_NORMAL_FILE, wxART_LIST,
                                          wxSize(16, 16));
    }
    const int index = bitmap.IsOk() ? icons_.Add(bitmap) : -1;
    iconIndex_[icon] = index;
    return index;
}

void WxMainFrame::applyList() {
    auto guard = list_.lock();
    const int rows = list_.rowCount();
    // A large hand-over arrives over several refreshes, so that the window
    // keeps repainting in between.
    const int shown = std::min(rows, listCtrl_->GetItemCount() + kRowsPerRefresh);
    if (shown < rows) {
        listRevision_ = ~std::uint64_t{0};
    }
    listCtrl_->Freeze();
    while (listCtrl_->GetItemCount() > rows) {
        listCtrl_->DeleteItem(listCtrl_->GetItemCount() - 1);
    }
    for (int r = 0; r < shown; ++r) {
        const wxString name = u8(list_.text(r, 0));
        if (r >= listCtrl_->GetItemCount()) {
            listCtrl_->InsertItem(r, name, iconFor(list_.text(r, 0), list_.rowKind(r)));
        }
        for (int c = 0; c < CFileListView::kColumnCount; ++c) {
            const wxString text =
                r == barRow_ && c == CFileListView::kState ? wxString() : u8(list_.text(r, c));
            if (listCtrl_->GetItemText(r, c) != text) {
                listCtrl_->SetItem(r, c, text);
            }
        }
        const auto colour = list_presentation::rowTextColour(list_, r);
        const wxColour want =
            colour ? wxColour(colour->r, colour->g, colour->b) : listCtrl_->GetForegroundColour();
        if (listCtrl_->GetItemTextColour(r) != want) {
            listCtrl_->SetItemTextColour(r, want);
        }
    }
    listCtrl_->Thaw();
}

void WxMainFrame::placeRowBar() {
    const RowProgressBar bar = list_.progressBar();
    const wxRect rect = bar.visible && window_ != nullptr ? rowBarRect() : wxRect();
    if (rect.width <= 0 || rect.height <= 0) {
        if (rowBar_->IsShown()) {
            rowBar_->Hide();
        }
        blankStateUnderBar(-1);
        return;
    }
    blankStateUnderBar(geometry_.rowAt(rect.y + rect.height / 2));
    if (rowBar_->GetRect() != rect) {
        rowBar_->SetSize(rect);
    }
    rowBar_->setRange(0, bar.upper);
    rowBar_->setPosition(bar.position);
    rowBar_->setShowText(bar.showText);
    rowBar_->SetLabel(u8(bar.text));
    if (!rowBar_->IsShown()) {
        rowBar_->Show();
    }
}

void WxMainFrame::blankStateUnderBar(int row) {
    if (row == barRow_) {
        return;
    }
    const int count = listCtrl_->GetItemCount();
    if (barRow_ >= 0 && barRow_ < count) {
        auto guard = list_.lock();
        if (barRow_ < list_.rowCount()) {
            listCtrl_->SetItem(barRow_, CFileListView::kState,
                               u8(list_.text(barRow_, CFileListView::kState)));
        }
    }
    barRow_ = row < count ? row : -1;
    if (barRow_ >= 0) {
        listCtrl_->SetItem(barRow_, CFileListView::kState, wxString());
    }
}

wxRect WxMainFrame::rowBarRect() const {
    if (window_ == nullptr) {
        return {};
    }
    const Rect r = window_->progressBarRect();
    return wxRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void WxMainFrame::applyWindowState() {
    const WindowState want = view_.windowState();
    if (view_.raiseCount() != raised_) {
        raised_ = view_.raiseCount();
        if (want != WindowState::Hidden) {
            Show();
            Raise();
        }
    }
    if (want == shownState_) {
        return;
    }
    const WindowState was = shownState_;
    shownState_ = want;
    switch (want) {
        case WindowState::Hidden:
            if (trayAvailable_) {
                animateHide();
                Hide();
            } else {
                // No tray to come back from: minimise, so the window can
                // always be found again.
                Iconize(true);
            }
            break;
        case WindowState::Minimized:
            Iconize(true);
            break;
        case WindowState::Maximized:
            Show();
            Maximize(true);
            break;
        case WindowState::Normal:
            Show();
            if (IsIconized()) {
                Iconize(false);
            }
            if (was == WindowState::Maximized || IsMaximized()) {
                Maximize(false);
            }
            Raise();
            break;
    }
}

void WxMainFrame::animateHide() {
    // The window shrinks towards a 70 x 10 spot at the work area's corner.
    const wxRect from = GetScreenRect();
    const wxRect work = wxDisplay(0u).GetClientArea();
    const wxRect to(work.GetRight() - 70, work.GetBottom() - 10, 70, 10);
    constexpr int kSteps = 8;
    for (int i = 1; i <= kSteps; ++i) {
        const auto mix = [&](int a, int b) { return a + (b - a) * i / kSteps; };
        SetSize(mix(from.x, to.x), mix(from.y, to.y), std::max(mix(from.width, to.width), 1),
                std::max(mix(from.height, to.height), 1), wxSIZE_ALLOW_MINUS_ONE);
        Update();
        wxMilliSleep(12);
    }
    Hide();
    SetMinSize(wxSize(kMinimumSize, kMinimumSize));
    SetSize(from);
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

void WxMainFrame::onLeftDown(wxMouseEvent& event) {
    const wxSize size = GetClientSize();
    const FrameHit hit = widgets::frameHit(event.GetPosition().x, event.GetPosition().y, size.x,
                                           size.y, IsMaximized());
    if (hit == FrameHit::Client) {
        return;
    }
    drag_ = static_cast<int>(hit);
    dragStart_ = ClientToScreen(event.GetPosition());
    startRect_ = GetScreenRect();
    CaptureMouse();
}

void WxMainFrame::onMotion(wxMouseEvent& event) {
    const wxSize size = GetClientSize();
    if (drag_ == 0) {
        SetCursor(wxCursor(cursorFor(widgets::frameHit(event.GetPosition().x, event.GetPosition().y,
                                                       size.x, size.y, IsMaximized()))));
        return;
    }
    const wxPoint now = ClientToScreen(event.GetPosition());
    const int dx = now.x - dragStart_.x;
    const int dy = now.y - dragStart_.y;
    wxRect r = startRect_;
    const auto hit = static_cast<FrameHit>(drag_);
    if (hit == FrameHit::Move) {
        Move(r.x + dx, r.y + dy);
        return;
    }
    const bool left =
        hit == FrameHit::Left || hit == FrameHit::TopLeft || hit == FrameHit::BottomLeft;
    const bool right =
        hit == FrameHit::Right || hit == FrameHit::TopRight || hit == FrameHit::BottomRight;
    const bool top = hit == FrameHit::Top || hit == FrameHit::TopLeft || hit == FrameHit::TopRight;
    const bool bottom =
        hit == FrameHit::Bottom || hit == FrameHit::BottomLeft || hit == FrameHit::BottomRight;
    if (right) {
        r.width = std::max(kMinimumSize, startRect_.width + dx);
    }
    if (bottom) {
        r.height = std::max(kMinimumSize, startRect_.height + dy);
    }
    if (left) {
        r.width = std::max(kMinimumSize, startRect_.width - dx);
        r.x = startRect_.GetRight() + 1 - r.width;
    }
    if (top) {
        r.height = std::max(kMinimumSize, startRect_.height - dy);
        r.y = startRect_.GetBottom() + 1 - r.height;
    }
    SetSize(r);
}

void WxMainFrame::onLeftUp(wxMouseEvent&) {
    if (drag_ != 0) {
        drag_ = 0;
        if (HasCapture()) {
            ReleaseMouse();
        }
    }
}

std::unique_ptr<wxMenu> WxMainFrame::systemMenu() const {
    auto menu = std::make_unique<wxMenu>();
    menu->Append(control::kMinimize, u8("최소화"));
    menu->Append(control::kMaximize, IsMaximized() ? u8("이전 크기로") : u8("최대화"));
    menu->Append(kCloseCommand, u8("닫기"));
    menu->AppendSeparator();
    menu->Append(kAboutCommand, u8("TaldorUpLoad 정보(&A)..."));
    return menu;
}

void WxMainFrame::showSystemMenu(const wxPoint& at) {
    const auto menu = systemMenu();
    const int chosen = GetPopupMenuSelectionFromUser(*menu, at);
    if (chosen == kAboutCommand) {
        showAbout();
    } else if (chosen == kCloseCommand) {
        if (window_ != nullptr) {
            window_->onSystemClose();
            refresh();
        }
    } else if (chosen != wxID_NONE) {
        command(chosen);
    }
}

void WxMainFrame::showAbout() {
    wxMessageDialog about(this, u8("TaldorUpLoad 버전 1.0"), u8("TaldorUpLoad 정보"), wxOK);
    about.SetOKLabel(u8("확인"));
    about.ShowModal();
}

std::vector<std::string> WxMainFrame::describe() const {
    std::vector<std::string> lines;
    auto quoted = [](const wxString& s) { return "\"" + s.utf8_string() + "\""; };
    std::ostringstream head;
    const wxRect rect = GetScreenRect();
    head << "window shown=" << IsShown() << " iconized=" << IsIconized()
         << " maximized=" << IsMaximized() << " rect=" << rect.x << "," << rect.y << ","
         << rect.width << "x" << rect.height;
    lines.push_back(head.str());
    const wxRect room = captionRoom();
    wxClientDC measure(const_cast<WxMainFrame*>(this));
    measure.SetFont(captionFont_);
    const wxSize extent = measure.GetTextExtent(u8(kWindowCaption));
    lines.push_back("caption " + quoted(u8(kWindowCaption)) + " rect=" + std::to_string(room.x) +
                    "," + std::to_string(room.y) + "," + std::to_string(extent.x) + "x" +
                    std::to_string(extent.y) + " room=" + std::to_string(room.width));
    for (const auto& [id, label] : statics_) {
        lines.push_back("static " + std::to_string(id) + " " + quoted(label->GetLabel()));
    }
    lines.push_back("path " + quoted(pathBox_->GetValue()));
    lines.push_back("bar 1002 text=" + quoted(overall_->shownText()) +
                    " width=" + std::to_string(overall_->drawnBarWidth()));
    for (const auto& [id, box] : checks_) {
        lines.push_back("check " + std::to_string(id) + " state=" + std::to_string(box->state()) +
                        " enabled=" + std::to_string(box->IsEnabled()) + " " +
                        quoted(box->GetLabel()));
    }
    for (const auto& [id, button] : buttons_) {
        std::string look;
        if (auto it = looks_.find(id); it != looks_.end()) {
            look = it->second == ButtonLook::Stop ? " look=stop" : " look=start";
        }
        const wxRect r = button->GetRect();
        lines.push_back("button " + std::to_string(id) +
                        " enabled=" + std::to_string(button->IsEnabled()) + look +
                        " rect=" + std::to_string(r.x) + "," + std::to_string(r.y) + "," +
                        std::to_string(r.width) + "x" + std::to_string(r.height));
    }
    for (int c = 0; c < listCtrl_->GetColumnCount(); ++c) {
        wxListItem column;
        column.SetMask(wxLIST_MASK_TEXT | wxLIST_MASK_FORMAT);
        listCtrl_->GetColumn(c, column);
        const wxListColumnFormat align = column.GetAlign();
        lines.push_back("heading " + std::to_string(c) + " " + quoted(column.GetText()) +
                        " align=" +
                        (align == wxLIST_FORMAT_CENTRE  ? "centre"
                         : align == wxLIST_FORMAT_RIGHT ? "right"
                                                        : "left"));
    }
    for (int r = 0; r < listCtrl_->GetItemCount(); ++r) {
        const wxColour c = listCtrl_->GetItemTextColour(r);
        std::string line = "row " + std::to_string(r) +
                           " colour=" + std::to_string(c.IsOk() ? c.Red() : -1) + "," +
                           std::to_string(c.IsOk() ? c.Green() : -1) + "," +
                           std::to_string(c.IsOk() ? c.Blue() : -1);
        for (int col = 0; col < CFileListView::kColumnCount; ++col) {
            line += " | " + listCtrl_->GetItemText(r, col).utf8_string();
        }
        lines.push_back(line);
    }
    std::string colours;
    for (const wxColour& c : rowBar_->colours()) {
        colours += (colours.empty() ? "" : "/") + std::to_string(c.Red()) + "," +
                   std::to_string(c.Green()) + "," + std::to_string(c.Blue());
    }
    lines.push_back("rowbar shown=" + std::to_string(rowBar_->IsShown()) +
                    " text=" + quoted(rowBar_->shownText()) + " colours=" + colours +
                    " row=" + std::to_string(barRow_));
    return lines;
}

}  // namespace quenvara::uploader::wxui
