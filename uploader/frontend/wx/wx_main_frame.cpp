#include "uploader/frontend/wx/wx_main_frame.h"

#include <wx/hyperlink.h>
#include <wx/panel.h>
#include <wx/region.h>
#include <wx/sizer.h>

#include <algorithm>
#include <initializer_list>

#include "uploader/app/list_presentation.h"
#include "uploader/app/upload_main_window.h"
#include "uploader/widgets/accessible.h"
#include "uploader/widgets/skin_bitmaps.h"
#include "uploader/widgets/skin_frame.h"

namespace quenvara::uploader::wxui {

namespace {

using widgets::skin::ButtonFace;
using widgets::skin::ButtonGlyph;

wxString u8(std::string_view text) {
    return wxString::FromUTF8(text.data(), text.size());
}

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
    placeAgain_.Bind(wxEVT_TIMER, &WxMainFrame::onPlaceAgain, this);
    Bind(wxEVT_PAINT, &WxMainFrame::onPaint, this);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        reshape();
        event.Skip();
    });
    // Windows sized the frame while creating it, before the handler above
    // was there, and sends no size event for showing it.
    reshape();
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
            widgets::accessible::hide(*button);
        }
        buttons_[id] = button;
    }
    buttons_[control::kStartStop]->SetToolTip(u8("시작 / 정지"));
    buttons_[control::kDelete]->SetToolTip(u8("완료된 항목 삭제"));
    buttons_[control::kClose]->SetToolTip(u8("종료"));
    buttons_[control::kHide]->SetToolTip(u8("감추기"));
    // The caption's buttons have no tooltip; a reader calls them by the
    // system menu's words, the caption's close by what it does.
    widgets::accessible::setName(*buttons_[control::kMinimize], u8("최소화"));
    widgets::accessible::setName(*buttons_[control::kMaximize], u8("최대화"));
    widgets::accessible::setName(*buttons_[control::kClose2], u8("종료"));
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
    // The hidden columns stay hidden: their dividers are not dragged open.
    listCtrl_->Bind(wxEVT_LIST_COL_BEGIN_DRAG, [](wxListEvent& event) {
        const int column = event.GetColumn();
        if (column >= 0 && column < CFileListView::kColumnCount &&
            list_presentation::columnWidths(kMinimumSize,
                                            false)[static_cast<std::size_t>(column)] == 0) {
            event.Veto();
        }
    });
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

    // Tab follows the window from the list down to the buttons under it, then
    // the caption's buttons.
    const std::initializer_list<wxWindow*> order = {bannerStrip_,
                                                    pathBox_,
                                                    checks_[control::kNotificationsOffCheck],
                                                    checks_[control::kShutdownCheck],
                                                    checks_[control::kCloseWindowCheck],
                                                    buttons_[control::kStartStop],
                                                    buttons_[control::kDelete],
                                                    buttons_[control::kClose],
                                                    buttons_[control::kHide],
                                                    buttons_[control::kMinimize],
                                                    buttons_[control::kMaximize],
                                                    buttons_[control::kClose2]};
    wxWindow* previous = listCtrl_;
    for (wxWindow* next : order) {
        next->MoveAfterInTabOrder(previous);
        previous = next;
    }
    // The keyboard starts at the top of that order rather than on a caption
    // button.
    listCtrl_->SetFocus();
}

void WxMainFrame::reshape() {
    const wxSize size = GetClientSize();
    const auto points = widgets::windowPolygon(size.x, size.y);
    std::vector<wxPoint> polygon;
    for (const auto& [x, y] : points) {
        polygon.emplace_back(x, y);
    }
    SetShape(wxRegion(polygon.size(), polygon.data()));
    layoutControls();
    Refresh(false);
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
        widgets::accessible::setName(*buttons_[control::kMaximize],
                                     maximizedLook_ ? u8("이전 크기로") : u8("최대화"));
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

}  // namespace quenvara::uploader::wxui
