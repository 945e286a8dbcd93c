#include "uploader/frontend/wx/wx_main_frame.h"

#include <wx/artprov.h>

#include <algorithm>
#include <map>

#include "uploader/app/list_presentation.h"
#include "uploader/app/upload_main_window.h"

namespace quenvara::uploader::wxui {

namespace {

wxString u8(std::string_view text) {
    return wxString::FromUTF8(text.data(), text.size());
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
                if (c == CFileListView::kLocation) {
                    // The file's folder, with the folder icon.
                    listCtrl_->SetItemColumnImage(r, c, iconFor("", 2));
                }
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

}  // namespace quenvara::uploader::wxui
